#include "link/Posixport.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "link/Linerate.h"

namespace {

using Clock = std::chrono::steady_clock;

timespec ToTimespec(std::chrono::nanoseconds wait) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(wait.count() % 1000000000);
    return ts;
}

class PosixComPort final : public Transport {
public:
    explicit PosixComPort(int fd) : fd_(fd) {}

    ~PosixComPort() override {
        // A pty keeps its exclusive flag while its master lives: clear it, or the next
        // open by an ordinary user is refused.
        if (exclusive_) {
            ioctl(fd_, TIOCNXCL);
        }
        close(fd_);
    }

    PosixComPort(const PosixComPort&) = delete;
    PosixComPort& operator=(const PosixComPort&) = delete;

    // With the descriptor a tty and locked; errno tells a failure.
    bool Configure(const LineSettings& settings) {
        if (ioctl(fd_, TIOCEXCL) != 0) {
            return false;
        }
        exclusive_ = true;
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) {
            return false;
        }
        cfmakeraw(&tio);
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        tio.c_cflag |= CLOCAL | CREAD;
        switch (settings.ByteSize) {
            case 5:
                tio.c_cflag |= CS5;
                break;
            case 6:
                tio.c_cflag |= CS6;
                break;
            case 7:
                tio.c_cflag |= CS7;
                break;
            case 8:
                tio.c_cflag |= CS8;
                break;
            default:
                errno = EINVAL;
                return false;  // a tty has no 4-bit bytes: refused as a driver would
        }
        if (settings.Parity == 1) {
            tio.c_cflag |= PARENB;
        } else if (settings.Parity == 2) {
            tio.c_cflag |= PARENB | PARODD;
        }
        // Two stop bits with 5-bit bytes is one and a half on a UART.
        if (settings.StopBits != 0) {
            tio.c_cflag |= CSTOPB;
        }
        // With VMIN 1 a non-blocking read of an empty line says EAGAIN, so that 0 means
        // only what it says: the line has hung up.
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(fd_, TCSANOW, &tio) != 0 || !SetLineRate(fd_, settings.BaudRate)) {
            return false;
        }
        // The kernel's queues have their own sizes: InQueue and OutQueue need nothing here.
        return SetDtr(settings.Dtr).Ok() && SetRts(settings.Rts).Ok();
    }

    LinkStatus SetRate(int32_t rate) override {
        if (SetLineRate(fd_, rate)) {
            return {};
        }
        return Failure(errno, "скорость " + std::to_string(rate) + " бит/с не установлена");
    }

    LinkStatus Flush() override {
        return tcflush(fd_, TCIOFLUSH) == 0 ? LinkStatus{}
                                            : Failure(errno, "очистка буферов порта");
    }

    LinkStatus SetDtr(bool on) override { return ModemLine(TIOCM_DTR, on, "DTR"); }
    LinkStatus SetRts(bool on) override { return ModemLine(TIOCM_RTS, on, "RTS"); }

    LinkStatus Drain() override {
        while (tcdrain(fd_) != 0) {
            if (errno != EINTR) {
                return Failure(errno, "ожидание конца передачи");
            }
        }
        return {};
    }

    LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) override {
        const auto deadline = Clock::now() + limit;
        size_t done = 0;
        while (done < count) {
            const ssize_t n = write(fd_, data + done, count - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                return Failure(errno, "запись в порт");
            }
            pollfd pfd{fd_, POLLOUT, 0};
            int r;
            if (limit <= std::chrono::nanoseconds::zero()) {
                r = poll(&pfd, 1, -1);
            } else {
                const auto left = deadline - Clock::now();
                if (left <= Clock::duration::zero()) {
                    return LinkStatus::Failed(WriteTimeoutText);
                }
                const timespec ts = ToTimespec(left);
                r = ppoll(&pfd, 1, &ts, nullptr);
            }
            if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
                lost_ = true;
                return LinkStatus::Failed(LineGoneText);
            }
            if (r == 0) {
                return LinkStatus::Failed(WriteTimeoutText);
            }
            if (r < 0 && errno != EINTR) {
                return Failure(errno, "запись в порт");
            }
        }
        return {};
    }

    ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) override {
        const ReadStatus first = ReadNow(byte);
        if (first != ReadStatus::None || wait <= std::chrono::nanoseconds::zero()) {
            return first;
        }
        pollfd pfd{fd_, POLLIN, 0};
        const timespec ts = ToTimespec(wait);
        const int r = ppoll(&pfd, 1, &ts, nullptr);
        if (r < 0) {
            return errno == EINTR ? ReadStatus::None : ReadFailed(errno);
        }
        if (r == 0) {
            return ReadStatus::None;
        }
        if (pfd.revents & POLLIN) {
            return ReadNow(byte);
        }
        lost_ = true;  // a hang-up or an error, and nothing to read
        readFailure_ = LineGoneText;
        return ReadStatus::Failed;
    }

    std::string ReadFailure() const override { return readFailure_; }

    bool LineLost() const override { return lost_; }

private:
    ReadStatus ReadNow(uint8_t& byte) {
        const ssize_t n = read(fd_, &byte, 1);
        if (n == 1) {
            return ReadStatus::Byte;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return ReadStatus::None;
        }
        if (n == 0) {
            lost_ = true;  // end of file on a tty: it has hung up
            readFailure_ = LineGoneText;
            return ReadStatus::Failed;
        }
        return ReadFailed(errno);
    }

    ReadStatus ReadFailed(int error) {
        readFailure_ = Failure(error, "чтение из порта").Cause();
        return ReadStatus::Failed;
    }

    // The cause of a failed call, a line that has gone said as such.
    LinkStatus Failure(int error, const std::string& what) {
        NoteLoss(error);
        if (lost_) {
            return LinkStatus::Failed(LineGoneText);
        }
        return LinkStatus::Failed(what + ": " + std::strerror(error));
    }

    // The errors of a tty whose device has gone or whose far side has closed.
    void NoteLoss(int error) {
        if (error == EIO || error == ENXIO || error == ENODEV) {
            lost_ = true;
        }
    }

    LinkStatus ModemLine(int line, bool on, const char* name) {
        int bits = line;
        if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 || errno == ENOTTY ||
            errno == EINVAL) {
            return {};
        }
        return Failure(errno, std::string("линия ") + name + " не " + (on ? "поднята" : "опущена"));
    }

    int fd_;
    bool exclusive_ = false;
    bool lost_ = false;
    std::string readFailure_;
};

// RTS up while the UART sends, down after the last stop bit, by the driver itself.
bool EnableRs485(int fd) {
    serial_rs485 rs485{};
    if (ioctl(fd, TIOCGRS485, &rs485) != 0) {
        return false;
    }
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs485.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND);
    rs485.delay_rts_before_send = 0;
    rs485.delay_rts_after_send = 0;
    return ioctl(fd, TIOCSRS485, &rs485) == 0;
}

}  // namespace

TransportHandle OpenPosixPort(const std::string& path, const LineSettings& settings,
                              std::string* failure) {
    const auto fail = [&](int error) -> TransportHandle {
        if (failure) {
            *failure = PortFailureText(error, path);
        }
        return nullptr;
    };
    // Non-blocking, so that a FIFO or a modem line without carrier cannot hold the open.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(errno);
    }
    auto port = std::make_unique<PosixComPort>(fd);
    if (!isatty(fd)) {
        return fail(ENOTTY);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (!port->Configure(settings)) {
        return fail(errno);
    }
    if (settings.Rs485 && !EnableRs485(fd)) {
        if (failure) {
            *failure = NoRs485Text;
        }
        return nullptr;
    }
    return port;
}

std::string ComPortPath(int portNumber) {
    return ComPortPath(portNumber, PortsDirectory(), "/dev");
}

std::string PortPathForName(const std::string& name) {
    std::error_code error;
    for (const char* folder : {"/dev/serial/by-id/", "/dev/"}) {
        if (std::filesystem::exists(folder + name, error)) {
            return folder + name;
        }
    }
    return name;
}

TransportHandle OpenComPortAt(const std::string& path, const LineSettings& settings,
                              std::string* failure) {
    return OpenPosixPort(path, NormaliseLineSettings(settings), failure);
}

std::string PortFailureText(int error, const std::string& path) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return "нет такого устройства";
        case EACCES:
        case EPERM: {
            struct stat info {};
            const std::string name = stat(path.c_str(), &info) == 0 ? GroupNameOf(info.st_gid) : "";
            return "нет прав доступа: пользователь не входит в группу " + name;
        }
        case EBUSY:
        case EWOULDBLOCK:
            return "порт занят другой программой";
        case ENOTTY:
        case EISDIR:
            return "не является последовательным портом";
        default:
            return std::strerror(error);
    }
}

std::string GroupNameOf(unsigned gid) {
    const struct group* entry = getgrgid(gid);
    return entry ? entry->gr_name : std::to_string(gid);
}
