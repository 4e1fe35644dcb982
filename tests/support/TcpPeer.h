#pragma once
// The far end of a TCP link: a serial device server as the tests need it, on 127.0.0.1 and
// a port the system picks. Each connection it accepts runs the test's script in the peer's
// thread; the script answers, splits, merges, pauses and closes as a server may. With
// Rfc2217 on, the peer is a minimal RFC 2217 server besides: it answers the negotiation,
// reports a rate back and records the COM-PORT commands it was sent.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

class TcpPeer {
public:
    using Bytes = std::vector<uint8_t>;

    // One accepted connection, as the script sees it.
    class Line {
    public:
        // count data bytes, fewer when the wait ends or the client closes first. With RFC
        // 2217 on, telnet commands met on the way are answered and recorded.
        Bytes Read(size_t count, std::chrono::milliseconds wait = std::chrono::seconds(2));
        // One segment; with RFC 2217 on every 0xFF goes as two.
        void Send(const Bytes& data);
        // One segment per byte, with a random pause of up to 2 ms before each.
        void SendBytewise(const Bytes& data);
        // The bytes exactly as given: telnet commands, or a telnet stream cut anywhere.
        void SendRaw(const Bytes& data);
        void Pause(std::chrono::milliseconds pause);
        // ser2net's greeting on an RFC 2217 port, as it is sent to every client.
        static const Bytes Ser2netGreeting;
        // Acts as a ser2net port with RFC 2217: greets as it does, then answers. The rate
        // reported back is reportRate, or the one asked for when that is 0.
        void Rfc2217(uint32_t reportRate = 0);
        void Close();
        // Neither side has closed, and the peer serves on.
        bool Open() const;

    private:
        friend class TcpPeer;
        Line(TcpPeer& peer, int fd) : peer_(peer), fd_(fd) {}
        void Parse(uint8_t byte, Bytes& data);
        void Answer(uint8_t verb, uint8_t option);
        void Subnegotiated();

        TcpPeer& peer_;
        int fd_;
        bool closed_ = false;  // by the client
        Bytes data_;           // received and not yet read by the script
        bool telnet_ = false;
        uint32_t reportRate_ = 0;
        int state_ = 0;
        uint8_t verb_ = 0;
        Bytes subnegotiation_;
        bool sentDo_[256] = {};
        bool sentWill_[256] = {};
        std::mt19937 random_{20240611};
    };
    using Script = std::function<void(Line&)>;

    TcpPeer();
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    bool ok() const { return listener_ >= 0; }
    uint16_t Port() const { return port_; }
    // Runs script on every connection, one after another. When the script returns with
    // the connection open, it is kept (and its commands answered) until the client closes.
    void Serve(Script script);
    // Ends serving and closes every socket of the peer.
    void Stop();

    // Every data byte the clients sent, telnet's escapes undone.
    Bytes Received();
    // The COM-PORT subnegotiations received, each without IAC SB 44 and IAC SE.
    std::vector<Bytes> ComPortCommands();
    // The option commands received, verb and option: {253, 0} is DO BINARY.
    std::vector<Bytes> OptionCommands();
    int Connections() const { return connections_; }

private:
    void Run();
    void Record(std::vector<Bytes>& list, Bytes entry);

    int listener_ = -1;
    uint16_t port_ = 0;
    Script script_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    Bytes received_;
    std::vector<Bytes> comPortCommands_;
    std::vector<Bytes> optionCommands_;
};

// A TCP port on 127.0.0.1 that nothing listens on at the moment of asking.
uint16_t FreeTcpPort();

// A port on 127.0.0.1 whose queue of connections is full and never taken from: the system
// drops every further attempt unanswered, as a host that has gone silent does.
class FullTcpBacklog {
public:
    FullTcpBacklog();
    ~FullTcpBacklog();
    FullTcpBacklog(const FullTcpBacklog&) = delete;
    FullTcpBacklog& operator=(const FullTcpBacklog&) = delete;
    bool ok() const { return filler_ >= 0; }
    uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    uint16_t port_ = 0;
};
