#pragma once
// The transport: the one way the core reaches a device. A serial port (POSIX tty, Win32
// COM), a TCP connection to a serial device server, or the same with RFC 2217 in between.
// Every call says whether it was done and, when not, why, in the program's words; the
// caller checks each one.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// What a transport call came to: done, or the cause of its failure.
class [[nodiscard]] LinkStatus {
public:
    LinkStatus() = default;
    static LinkStatus Failed(std::string cause) {
        LinkStatus status;
        status.cause_ = cause.empty() ? "неизвестная ошибка" : std::move(cause);
        return status;
    }
    bool Ok() const { return cause_.empty(); }
    explicit operator bool() const { return Ok(); }
    const std::string& Cause() const { return cause_; }

private:
    std::string cause_;
};

// Causes that every kind of transport gives.
inline constexpr char LineGoneText[] = "порт отключен или линия оборвана";
inline constexpr char WriteTimeoutText[] = "запись не завершилась вовремя";

enum class ReadStatus { Byte, None, Failed };

// Who drives the device's line: the program (a serial port; RTS and the line's pauses are
// the program's), or a converter at the far end of a network connection.
enum class LineDriver { Program, Converter };

class Transport {
public:
    virtual ~Transport() = default;
    // The line's rate in bit/s. A converter without rate control takes it as done.
    virtual LinkStatus SetRate(int32_t rate) = 0;
    // Drops whatever waits to be sent or to be read.
    virtual LinkStatus Flush() = 0;
    // Modem lines. A line without them (a pty, a raw TCP link) takes these as done.
    virtual LinkStatus SetDtr(bool on) = 0;
    virtual LinkStatus SetRts(bool on) = 0;
    // Returns once every byte written has left the program's side.
    virtual LinkStatus Drain() = 0;
    // Writes all bytes within limit (zero: no limit); anything less is a failure.
    virtual LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) = 0;
    // Reads one byte, waiting at most `wait` for it to arrive; a zero wait takes only what
    // has already arrived. After Failed, ReadFailure() says why.
    virtual ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) = 0;
    virtual std::string ReadFailure() const { return "сбой чтения"; }
    // The line has hung up (the adapter was pulled, the server closed the connection):
    // nothing will pass through this transport again, and holding it keeps the device's
    // name from its return.
    virtual bool LineLost() const { return false; }
    virtual LineDriver Driver() const { return LineDriver::Program; }
    // Over a network: the time a byte takes there and back, as measured when connecting.
    virtual std::chrono::nanoseconds RoundTrip() const { return std::chrono::nanoseconds::zero(); }
};

using TransportHandle = std::unique_ptr<Transport>;
