#pragma once
// Serial port access: the ComPort interface that the rest of the program talks to,
// and the free functions that open and configure a port.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The five time-out values of a Windows serial port, in milliseconds. Both platforms
// keep them, so that callers set them the same way everywhere.
struct ComTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const ComTimeouts&) const = default;
};

// ReadIntervalTimeout with zero totals: a read returns at once with what has arrived.
inline constexpr uint32_t MaxDword = 0xFFFFFFFFu;

struct LineSettings {
    int32_t BaudRate = 1200;  // bit/s
    int ByteSize = 8;         // data bits
    int Parity = 0;           // 0 none, 1 even, 2 odd
    int StopBits = 0;         // 0 one, 1 one and a half, 2 two
    uint32_t InQueue = 1000;  // bytes
    uint32_t OutQueue = 1000;
    bool Dtr = true;  // raised for the life of the handle
    bool Rts = false;
    // The kernel's RS-485 mode: the UART drives RTS itself, raised while it sends.
    bool Rs485 = false;
};

enum class ReadStatus { Byte, None, Failed };

// One open serial line. Destroying it closes the port.
class ComPort {
public:
    virtual ~ComPort() = default;
    virtual bool SetBaudRate(int32_t rate) = 0;
    virtual bool GetTimeouts(ComTimeouts& timeouts) = 0;
    virtual bool SetTimeouts(const ComTimeouts& timeouts) = 0;
    // Drops whatever waits to be sent or to be read.
    virtual bool Purge() = 0;
    // A line without modem-control lines (a pty) takes these as done.
    virtual bool SetDtr(bool on) = 0;
    virtual bool SetRts(bool on) = 0;
    // Writes all bytes within the write time-outs (multiplier × count + constant;
    // both 0: no limit); anything less is a failure.
    virtual bool Write(const uint8_t* data, size_t count) = 0;
    // Reads one byte, waiting at most `wait` for it to arrive; a zero wait takes only
    // what has already arrived.
    virtual ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) = 0;
    virtual bool ClearErrors() = 0;
    // The line has hung up (the adapter was pulled): nothing will pass through this
    // handle again, and holding it keeps the device's name from its return.
    virtual bool LineLost() const { return false; }
};

using ComPortHandle = std::unique_ptr<ComPort>;

inline constexpr int32_t MinBaudRate = 110;
inline constexpr int32_t MaxBaudRate = 256000;

int32_t LimitBaudRate(int32_t rate);
// The limits and fall-backs that every open applies: rate 110..256000, byte size 4..8,
// unknown parity kinds give none and unknown stop-bit kinds give one.
LineSettings NormaliseLineSettings(LineSettings settings);

// The folder of the COMn links: PORTS beside the program, or in the user's folders.
std::string PortsDirectory();
// On Linux COMn is PORTS/COMn when that is there (a link to any tty; a link that leads
// nowhere is a missing port), else /dev/ttyS<n-1>; on Windows it is \\.\COMn. Empty for
// n below 1.
std::string ComPortPath(int portNumber);
std::string ComPortPath(int portNumber, const std::string& portsDirectory,
                        const std::string& devRoot);

// Why an open asked for the RS-485 mode failed where the driver has none.
inline constexpr char NoRs485Text[] = "драйвер порта не поддерживает режим RS-485";

// The port a bare name stands for: on Linux a stable name in /dev/serial/by-id or a device
// file in /dev (ttyUSB0), on Windows a COM name (COM12); the name itself where none is.
std::string PortPathForName(const std::string& name);

// Null on any failure, with nothing left open; OpenComPortAt gives the cause in *failure
// when asked.
ComPortHandle OpenComPort(int portNumber, int32_t baudRate, int byteSize, int parity, int stopBits,
                          uint32_t inQueue, uint32_t outQueue, bool dtr, bool rts);
ComPortHandle OpenComPortAt(const std::string& path, const LineSettings& settings,
                            std::string* failure = nullptr);

bool SetComBaudRate(ComPort* port, int32_t baudRate);
bool ClearComErrors(ComPort* port);
bool SetComReadTimeouts(ComPort* port, uint32_t intervalTimeout, uint32_t totalMultiplier,
                        uint32_t totalConstant);
bool SetComWriteTimeouts(ComPort* port, uint32_t totalMultiplier, uint32_t totalConstant);

// True when pattern occurs in text, byte for byte; an empty text contains nothing.
bool ContainsText(const char* text, const char* pattern);
