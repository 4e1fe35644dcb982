#include "link/Win32line.h"

#include <cctype>

namespace {

// The Win32 error codes this unit tells apart.
constexpr uint32_t ErrorInvalidFunction = 1;
constexpr uint32_t ErrorFileNotFound = 2;
constexpr uint32_t ErrorPathNotFound = 3;
constexpr uint32_t ErrorAccessDenied = 5;
constexpr uint32_t ErrorInvalidHandle = 6;
constexpr uint32_t ErrorBadCommand = 22;
constexpr uint32_t ErrorGenFailure = 31;
constexpr uint32_t ErrorSharingViolation = 32;
constexpr uint32_t ErrorInvalidName = 123;
constexpr uint32_t ErrorOperationAborted = 995;
constexpr uint32_t ErrorDeviceNotConnected = 1167;
constexpr uint32_t ErrorDeviceRemoved = 1617;
constexpr uint32_t ErrorNoSuchDevice = 433;

}  // namespace

Win32DcbValues DcbValuesFor(const LineSettings& settings) {
    Win32DcbValues dcb;
    dcb.BaudRate = static_cast<uint32_t>(settings.BaudRate);
    dcb.ByteSize = static_cast<uint8_t>(settings.ByteSize);
    // The settings count even 1 and odd 2; Win32 has them the other way round.
    dcb.Parity = settings.Parity == 1 ? 2 : settings.Parity == 2 ? 1 : 0;
    dcb.StopBits = static_cast<uint8_t>(settings.StopBits);
    dcb.DtrControl = settings.Dtr ? 1 : 0;
    dcb.RtsControl = settings.Rts ? 1 : 0;
    return dcb;
}

ComTimeouts ReadWaitTimeouts(const ComTimeouts& callers, std::chrono::nanoseconds wait) {
    ComTimeouts timeouts = callers;
    timeouts.ReadIntervalTimeout = MaxDword;
    if (wait <= std::chrono::nanoseconds::zero()) {
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        return timeouts;
    }
    // Whole milliseconds, rounded up so that a short wait still waits; MAXDWORD itself
    // would mean something else.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    timeouts.ReadTotalTimeoutMultiplier = MaxDword;
    timeouts.ReadTotalTimeoutConstant =
        ms >= static_cast<long long>(MaxDword) ? MaxDword - 1 : static_cast<uint32_t>(ms);
    return timeouts;
}

std::string Win32PortPath(const std::string& name) {
    if (name.size() < 4 || name.size() > 6) {
        return name;
    }
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) {
            return name;
        }
    }
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return name;
        }
    }
    if (name[3] == '0') {
        return name;
    }
    return "\\\\.\\COM" + name.substr(3);
}

std::string Win32FailureText(uint32_t error) {
    switch (error) {
        case ErrorFileNotFound:
        case ErrorPathNotFound:
        case ErrorInvalidName:
            return "нет такого устройства";
        case ErrorAccessDenied:
        case ErrorSharingViolation:
            return "порт занят другой программой";
        case ErrorInvalidFunction:
        case ErrorBadCommand:
            return "не является последовательным портом";
        default:
            return "ошибка Windows " + std::to_string(error);
    }
}

bool Win32LineGone(uint32_t error) {
    switch (error) {
        case ErrorAccessDenied:  // what a pulled USB adapter gives to a handle still open
        case ErrorInvalidHandle:
        case ErrorBadCommand:
        case ErrorGenFailure:
        case ErrorOperationAborted:
        case ErrorDeviceNotConnected:
        case ErrorDeviceRemoved:
        case ErrorNoSuchDevice:
            return true;
        default:
            return false;
    }
}
