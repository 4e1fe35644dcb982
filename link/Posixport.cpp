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

class PosixComPort final : public ComPort {
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
        SetDtr(settings.Dtr);
        SetRts(settings.Rts);
        return true;
    }

    bool SetBaudRate(int32_t rate) override { return SetLineRate(fd_, rate); }

    bool GetTimeouts(ComTimeouts& timeouts) override {
        timeouts = timeouts_;
        return true;
    }

    // Reads are bounded by the caller's wait; the read values are kept so that they
    // read back as they were set.
    bool SetTimeouts(const ComTimeouts& timeouts) override {
        timeouts_ = timeouts;
        return true;
    }

    bool Purge() override { return tcflush(fd_, TCIOFLUSH) == 0; }

    bool SetDtr(bool on) override { return ModemLine(TIOCM_DTR, on); }
    bool SetRts(bool on) override { return ModemLine(TIOCM_RTS, on); }

    bool Write(const uint8_t* data, size_t count) override {
        const uint64_t limitMs = uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * count +
                                 timeouts_.WriteTotalTimeoutConstant;
        const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
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
                NoteLoss(errno);
                return false;
            }
            pollfd pfd{fd_, POLLOUT, 0};
            int r;
            if (limitMs == 0) {
                r = poll(&pfd, 1, -1);
            } else {
                const auto left = deadline - Clock::now();
                if (left <= Clock::duration::zero()) {
                    return false;
                }
                const timespec ts = ToTimespec(left);
                r = ppoll(&pfd, 1, &ts, nullptr);
            }
            if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
                lost_ = true;
                return false;
            }
            if (r == 0 || (r < 0 && errno != EINTR)) {
                return false;
            }
        }
        return true;
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
            return errno == EINTR ? ReadStatus::None : ReadStatus::Failed;
        }
        if (r == 0) {
            return ReadStatus::None;
        }
        if (pfd.revents & POLLIN) {
            return ReadNow(byte);
        }
        lost_ = true;  // a hang-up or an error, and nothing to read
        return ReadStatus::Failed;
    }

    // A tty keeps no error state to clear; what matters is that the line is still there.
    bool ClearErrors() override {
        termios tio{};
        if (tcgetattr(fd_, &tio) == 0) {
            return true;
        }
        NoteLoss(errno);
        return false;
    }

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
        } else {
            NoteLoss(errno);
        }
        return ReadStatus::Failed;
    }

    // The errors of a tty whose device has gone or whose far side has closed.
    void NoteLoss(int error) {
        if (error == EIO || error == ENXIO || error == ENODEV) {
            lost_ = true;
        }
    }

    bool ModemLine(int line, bool on) {
        int bits = line;
        if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) {
            return true;
        }
        return errno == ENOTTY || errno == EINVAL;
    }

    int fd_;
    bool exclusive_ = false;
    bool lost_ = false;
    ComTimeouts timeouts_;
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

ComPortHandle OpenPosixPort(const std::string& path, const LineSettings& settings,
                            std::string* failure) {
    const auto fail = [&](int error) -> ComPortHandle {
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

ComPortHandle OpenComPortAt(const std::string& path, const LineSettings& settings,
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
