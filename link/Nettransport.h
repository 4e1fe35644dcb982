#pragma once
// The device behind a serial device server (ser2net, a Moxa NPort and the like): a TCP
// connection that carries the line's bytes as they are, or RFC 2217 (telnet with the
// COM-PORT option), where the program sets the far port's rate and modem lines itself.
// A terminal may also connect out to the program (call-in): ListenTcp waits for it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "link/Transport.h"

enum class NetProtocol { Raw, Rfc2217 };

struct NetTarget {
    std::string Host;
    uint16_t Port = 0;
    NetProtocol Protocol = NetProtocol::Raw;
};

// The causes of a network link's failure, as the operator reads them.
inline constexpr char NetHostNotFoundText[] = "узел не найден";
inline constexpr char NetRefusedText[] = "соединение отвергнуто";
inline constexpr char NetNoRouteText[] = "нет маршрута до узла";
inline constexpr char NetTimedOutText[] = "узел не отвечает";
inline constexpr char NetConnectionLostText[] = "соединение разорвано";
// ser2net and its kind take a second client's connection, say so in a line and close it.
inline constexpr char NetServerBusyText[] = "сервер занят другим клиентом";
inline constexpr char NetPortInUseText[] = "порт уже занят другой программой";
inline constexpr char NetSendTimedOutText[] = "сервер не принимает данные";
inline constexpr char NetNoRateAnswerText[] = "сервер не подтвердил скорость линии";
// The notice of a server that left RFC 2217 unanswered: the link goes on as raw TCP.
inline constexpr char NetNoRfc2217Text[] =
    "сервер не поддерживает RFC 2217: скорость и линии задаются на самом сервере";

// What a server that set another rate than the one asked for is told with.
std::string NetRateMismatchText(uint32_t asked, uint32_t set);

// Connects; null with the cause in *failure. notice gets a remark the operator should see
// (the server did not take RFC 2217 and the link fell back to raw TCP); empty when none.
// While the connection is awaited keepWaiting (when given) is asked every 100 ms; false
// ends the wait: null with an empty *failure.
TransportHandle ConnectTcp(const NetTarget& target, int32_t rate, std::chrono::milliseconds timeout,
                           std::string* failure, std::string* notice = nullptr,
                           const std::function<bool()>& keepWaiting = {});

// Waits for a terminal that connects out to us on port (call-in), on every address of the
// machine; keepWaiting is asked at least every 100 ms and ends the wait when false (null
// with an empty *failure then). The link is raw TCP. Null with the cause in *failure.
TransportHandle ListenTcp(uint16_t port, const std::function<bool()>& keepWaiting,
                          std::string* failure);

// "host:port" → target (the protocol is left as it is); false for a malformed text: no
// port, port 0 or above 65535, an empty host. An IPv6 address goes in brackets: [::1]:4001.
bool ParseNetAddress(const std::string& text, NetTarget& target);
