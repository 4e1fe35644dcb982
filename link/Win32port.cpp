// The serial line over Win32 serial communications: synchronous I/O on \\.\COMn, opened
// with no sharing.
#include <windows.h>

#include <algorithm>

#include "link/Comportfunctions.h"
#include "link/Win32line.h"

namespace {

COMMTIMEOUTS ToWin32(const ComTimeouts& timeouts) {
    COMMTIMEOUTS native{};
    native.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    native.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    native.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    native.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    native.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return native;
}

ComTimeouts FromWin32(const COMMTIMEOUTS& native) {
    ComTimeouts timeouts;
    timeouts.ReadIntervalTimeout = native.ReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = native.ReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = native.ReadTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = native.WriteTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = native.WriteTotalTimeoutConstant;
    return timeouts;
}

class Win32ComPort final : public Transport {
public:
    explicit Win32ComPort(HANDLE handle) : handle_(handle) {}
    ~Win32ComPort() override { CloseHandle(handle_); }

    Win32ComPort(const Win32ComPort&) = delete;
    Win32ComPort& operator=(const Win32ComPort&) = delete;

    // GetLastError tells a failure.
    bool Configure(const LineSettings& settings) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) {
            return false;
        }
        const Win32DcbValues values = DcbValuesFor(settings);
        dcb.BaudRate = values.BaudRate;
        dcb.ByteSize = values.ByteSize;
        dcb.Parity = values.Parity;
        dcb.StopBits = values.StopBits;
        dcb.fDtrControl = values.DtrControl;
        dcb.fRtsControl = values.RtsControl;
        // What another program may have left that a binary protocol cannot live with.
        dcb.fBinary = TRUE;
        dcb.fParity = values.Parity != NOPARITY;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        if (!SetCommState(handle_, &dcb) ||
            !SetupComm(handle_, settings.InQueue, settings.OutQueue)) {
            return false;
        }
        COMMTIMEOUTS native{};
        if (!GetCommTimeouts(handle_, &native)) {
            return false;
        }
        timeouts_ = FromWin32(native);
        applied_ = timeouts_;
        modemLines_ = settings.Dtr ? Escape(SETDTR) : Escape(CLRDTR);
        return true;
    }

    LinkStatus SetRate(int32_t rate) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) {
            return Failure("скорость не установлена");
        }
        dcb.BaudRate = static_cast<DWORD>(rate);
        if (!SetCommState(handle_, &dcb)) {
            return Failure("скорость " + std::to_string(rate) + " бит/с не установлена");
        }
        return {};
    }

    LinkStatus Flush() override {
        if (!PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR)) {
            return Failure("очистка буферов порта");
        }
        return {};
    }

    // A port that refuses the modem lines is taken as one without them, as a pty.
    LinkStatus SetDtr(bool on) override { return ModemLine(on ? SETDTR : CLRDTR, "DTR", on); }
    LinkStatus SetRts(bool on) override { return ModemLine(on ? SETRTS : CLRRTS, "RTS", on); }

    LinkStatus Drain() override {
        if (!FlushFileBuffers(handle_)) {
            return Failure("ожидание конца передачи");
        }
        return {};
    }

    LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) override {
        // The write time-out of this call, with reads returning at once as before.
        ComTimeouts timeouts = timeouts_;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(limit).count();
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = ms <= 0 ? 0
                                             : ms >= static_cast<long long>(MaxDword)
                                                 ? MaxDword - 1
                                                 : static_cast<uint32_t>(ms);
        timeouts_ = timeouts;
        if (!Apply(ReadWaitTimeouts(timeouts_, std::chrono::nanoseconds::zero()))) {
            return Failure("запись в порт");
        }
        size_t done = 0;
        while (done < count) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 20));
            if (!WriteFile(handle_, data + done, chunk, &written, nullptr)) {
                ClearErrors();
                return Failure("запись в порт");
            }
            if (written == 0) {
                return LinkStatus::Failed(WriteTimeoutText);
            }
            done += written;
        }
        return {};
    }

    ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) override {
        if (!Apply(ReadWaitTimeouts(timeouts_, wait))) {
            readFailure_ = Failure("чтение из порта").Cause();
            return ReadStatus::Failed;
        }
        DWORD got = 0;
        if (!ReadFile(handle_, &byte, 1, &got, nullptr)) {
            readFailure_ = Failure("чтение из порта").Cause();
            ClearErrors();
            return ReadStatus::Failed;
        }
        return got == 1 ? ReadStatus::Byte : ReadStatus::None;
    }

    std::string ReadFailure() const override { return readFailure_; }

    bool LineLost() const override { return lost_; }

private:
    bool Apply(const ComTimeouts& timeouts) {
        if (timeouts == applied_) {
            return true;
        }
        COMMTIMEOUTS native = ToWin32(timeouts);
        if (!SetCommTimeouts(handle_, &native)) {
            return false;
        }
        applied_ = timeouts;
        return true;
    }

    bool Escape(DWORD function) { return EscapeCommFunction(handle_, function) != 0; }

    LinkStatus ModemLine(DWORD function, const char* name, bool on) {
        if (modemLines_ && !Escape(function)) {
            const LinkStatus failed =
                Failure(std::string("линия ") + name + " не " + (on ? "поднята" : "опущена"));
            if (lost_) {
                return failed;
            }
            modemLines_ = false;
        }
        return {};
    }

    // The errors the port keeps after a failure, cleared so that the next call can pass.
    void ClearErrors() {
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(handle_, &errors, &status);
    }

    // The cause of a failed call from GetLastError; a pulled adapter is noted and said so.
    LinkStatus Failure(const std::string& what) {
        const DWORD error = GetLastError();
        if (Win32LineGone(error)) {
            lost_ = true;
            return LinkStatus::Failed(LineGoneText);
        }
        return LinkStatus::Failed(what + ": " + Win32FailureText(error));
    }

    HANDLE handle_;
    ComTimeouts timeouts_;  // as the caller set them
    ComTimeouts applied_;   // as the port has them now
    bool modemLines_ = true;
    bool lost_ = false;
    std::string readFailure_;
};

}  // namespace

std::string ComPortPath(int portNumber) {
    if (portNumber < 1) {
        return {};
    }
    return "\\\\.\\COM" + std::to_string(portNumber);
}

std::string PortPathForName(const std::string& name) {
    return Win32PortPath(name);
}

TransportHandle OpenComPortAt(const std::string& path, const LineSettings& requested,
                              std::string* failure) {
    const LineSettings settings = NormaliseLineSettings(requested);
    const auto fail = [&](DWORD error) -> TransportHandle {
        if (failure) {
            *failure = Win32FailureText(error);
        }
        return nullptr;
    };
    if (settings.Rs485) {
        if (failure) {
            *failure = NoRs485Text;
        }
        return nullptr;
    }
    const std::string device = Win32PortPath(path);
    HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return fail(GetLastError());
    }
    auto port = std::make_unique<Win32ComPort>(handle);
    if (!port->Configure(settings)) {
        return fail(GetLastError());
    }
    return port;
}
