#pragma once
// What the Win32 serial port hands to the system, worked out from the line settings without
// the system itself, so that it is checked on every platform. Values are Win32's own.
#include <chrono>
#include <cstdint>
#include <string>

#include "link/Comportfunctions.h"

// The DCB fields an open sets; the rest stay as the driver reports them, except that flow
// control and character replacement are turned off, which a binary protocol cannot have.
struct Win32DcbValues {
    uint32_t BaudRate = 0;  // as given: drivers take the non-standard rates too
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;      // NOPARITY 0, ODDPARITY 1, EVENPARITY 2
    uint8_t StopBits = 0;    // ONESTOPBIT 0, ONE5STOPBITS 1, TWOSTOPBITS 2
    uint8_t DtrControl = 0;  // DTR_CONTROL_DISABLE 0, DTR_CONTROL_ENABLE 1
    uint8_t RtsControl = 0;  // RTS_CONTROL_DISABLE 0, RTS_CONTROL_ENABLE 1
};

// The five time-out values of a Windows serial port, in milliseconds.
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

// From settings already normalised.
Win32DcbValues DcbValuesFor(const LineSettings& settings);

// The time-outs for one read of at most `wait`: MAXDWORD, 0, 0 returns at once with what has
// arrived; MAXDWORD, MAXDWORD, n returns with the first byte or after n ms. The write
// values stay as the caller set them.
ComTimeouts ReadWaitTimeouts(const ComTimeouts& callers, std::chrono::nanoseconds wait);

// "COM3" or "com3" as "\\.\COM3", the form that also reaches ports above 9; any other name as
// it is.
std::string Win32PortPath(const std::string& name);

// The cause of a failed open, from GetLastError.
std::string Win32FailureText(uint32_t error);
// The errors of a port whose adapter has been pulled out.
bool Win32LineGone(uint32_t error);
