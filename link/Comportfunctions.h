#pragma once
// Serial ports: their line settings, their names and paths, and the functions that open one
// as a transport.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/Transport.h"

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
TransportHandle OpenComPort(int portNumber, int32_t baudRate, int byteSize, int parity,
                            int stopBits, uint32_t inQueue, uint32_t outQueue, bool dtr, bool rts);
TransportHandle OpenComPortAt(const std::string& path, const LineSettings& settings,
                              std::string* failure = nullptr);

// True when pattern occurs in text, byte for byte; an empty text contains nothing.
bool ContainsText(const char* text, const char* pattern);
