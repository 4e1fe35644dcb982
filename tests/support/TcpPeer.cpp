#include "tests/support/TcpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint8_t Iac = 255;
constexpr uint8_t Sb = 250;
constexpr uint8_t Se = 240;
constexpr uint8_t Will = 251;
constexpr uint8_t Wont = 252;
constexpr uint8_t Do = 253;
constexpr uint8_t Dont = 254;
constexpr uint8_t Binary = 0;
constexpr uint8_t Echo = 1;
constexpr uint8_t SuppressGoAhead = 3;
constexpr uint8_t ComPort = 44;

enum ParseState { Data, Command, Option, Sub, SubCommand };

int LoopbackSocket(uint16_t port, bool listening) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listening && listen(fd, 4) != 0)) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

uint16_t PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace

uint16_t FreeTcpPort() {
    const int fd = LoopbackSocket(0, false);
    const uint16_t port = fd >= 0 ? PortOf(fd) : 0;
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

FullTcpBacklog::FullTcpBacklog() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A backlog of 0 holds one connection; the one that fills it is ours.
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 0) != 0) {
        return;
    }
    port_ = PortOf(listener_);
    address.sin_port = htons(port_);
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler_ >= 0 &&
        connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(filler_);
        filler_ = -1;
    }
}

FullTcpBacklog::~FullTcpBacklog() {
    for (const int fd : {filler_, listener_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

TcpPeer::TcpPeer() {
    listener_ = LoopbackSocket(0, true);
    if (listener_ >= 0) {
        port_ = PortOf(listener_);
    }
}

TcpPeer::~TcpPeer() {
    Stop();
}

void TcpPeer::Serve(Script script) {
    script_ = std::move(script);
    thread_ = std::thread([this] { Run(); });
}

void TcpPeer::Stop() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (listener_ >= 0) {
        close(listener_);
        listener_ = -1;
    }
}

TcpPeer::Bytes TcpPeer::Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<TcpPeer::Bytes> TcpPeer::ComPortCommands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return comPortCommands_;
}

std::vector<TcpPeer::Bytes> TcpPeer::OptionCommands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return optionCommands_;
}

void TcpPeer::Record(std::vector<Bytes>& list, Bytes entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.push_back(std::move(entry));
}

void TcpPeer::Run() {
    while (!stop_) {
        pollfd pfd{listener_, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0) {
            continue;
        }
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ++connections_;
        Line line(*this, fd);
        script_(line);
        while (line.fd_ >= 0 && !line.closed_ && !stop_) {
            line.Read(SIZE_MAX, 50ms);
        }
        line.Close();
    }
}

TcpPeer::Bytes TcpPeer::Line::Read(size_t count, std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    while (data_.size() < count && fd_ >= 0 && !closed_ && !peer_.stop_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) {
            break;
        }
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(std::min(left, 20ms).count())) <= 0) {
            continue;
        }
        uint8_t chunk[512];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = n == 0 || (errno != EAGAIN && errno != EINTR);
            continue;
        }
        Bytes data;
        for (ssize_t i = 0; i < n; ++i) {
            if (telnet_) {
                Parse(chunk[i], data);
            } else {
                data.push_back(chunk[i]);
            }
        }
        {
            std::lock_guard<std::mutex> lock(peer_.mutex_);
            peer_.received_.insert(peer_.received_.end(), data.begin(), data.end());
        }
        data_.insert(data_.end(), data.begin(), data.end());
    }
    const size_t taken = std::min(count, data_.size());
    Bytes result(data_.begin(), data_.begin() + static_cast<ptrdiff_t>(taken));
    data_.erase(data_.begin(), data_.begin() + static_cast<ptrdiff_t>(taken));
    return result;
}

void TcpPeer::Line::Send(const Bytes& data) {
    Bytes out;
    for (const uint8_t byte : data) {
        out.push_back(byte);
        if (telnet_ && byte == Iac) {
            out.push_back(Iac);
        }
    }
    SendRaw(out);
}

void TcpPeer::Line::SendBytewise(const Bytes& data) {
    std::uniform_int_distribution<int> pause(0, 2000);
    for (const uint8_t byte : data) {
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random_)));
        Send({byte});
    }
}

void TcpPeer::Line::SendRaw(const Bytes& data) {
    size_t done = 0;
    while (fd_ >= 0 && done < data.size()) {
        const ssize_t n = send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return;  // the client has gone: what it did not take is its own loss
        }
        done += static_cast<size_t>(n);
    }
}

void TcpPeer::Line::Pause(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

// Go-ahead suppressed and echo offered (options a client refuses), binary both ways and
// COM-PORT asked for before the client offers it.
const TcpPeer::Bytes TcpPeer::Line::Ser2netGreeting = {
    Iac, Will, SuppressGoAhead, Iac, Do,   SuppressGoAhead, Iac, Will, Echo,   Iac, Dont, Echo,
    Iac, Do,   Binary,          Iac, Will, Binary,          Iac, Do,   ComPort};

void TcpPeer::Line::Rfc2217(uint32_t reportRate) {
    telnet_ = true;
    reportRate_ = reportRate;
    SendRaw(Ser2netGreeting);
    sentDo_[Binary] = sentWill_[Binary] = sentDo_[ComPort] = true;
}

bool TcpPeer::Line::Open() const {
    return fd_ >= 0 && !closed_ && !peer_.stop_;
}

void TcpPeer::Line::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void TcpPeer::Line::Parse(uint8_t byte, Bytes& data) {
    switch (state_) {
        case Data:
            if (byte == Iac) {
                state_ = Command;
            } else {
                data.push_back(byte);
            }
            break;
        case Command:
            state_ = Data;
            if (byte == Iac) {
                data.push_back(Iac);
            } else if (byte >= Will && byte <= Dont) {
                verb_ = byte;
                state_ = Option;
            } else if (byte == Sb) {
                subnegotiation_.clear();
                state_ = Sub;
            }
            break;
        case Option:
            state_ = Data;
            peer_.Record(peer_.optionCommands_, {verb_, byte});
            Answer(verb_, byte);
            break;
        case Sub:
            if (byte == Iac) {
                state_ = SubCommand;
            } else {
                subnegotiation_.push_back(byte);
            }
            break;
        case SubCommand:
            if (byte == Iac) {
                subnegotiation_.push_back(Iac);
                state_ = Sub;
            } else {
                state_ = Data;
                Subnegotiated();
            }
            break;
    }
}

// Takes binary and COM-PORT, refuses the rest; each request answered once.
void TcpPeer::Line::Answer(uint8_t verb, uint8_t option) {
    if (verb == Will) {
        const bool wanted = option == Binary || option == ComPort;
        if (!wanted) {
            SendRaw({Iac, Dont, option});
        } else if (!sentDo_[option]) {
            sentDo_[option] = true;
            SendRaw({Iac, Do, option});
        }
    } else if (verb == Do) {
        if (option != Binary) {
            SendRaw({Iac, Wont, option});
        } else if (!sentWill_[option]) {
            sentWill_[option] = true;
            SendRaw({Iac, Will, option});
        }
    }
}

void TcpPeer::Line::Subnegotiated() {
    if (subnegotiation_.size() < 2 || subnegotiation_[0] != ComPort) {
        return;
    }
    Bytes command(subnegotiation_.begin() + 1, subnegotiation_.end());
    peer_.Record(peer_.comPortCommands_, command);
    Bytes value(command.begin() + 1, command.end());
    if (command[0] == 1 && reportRate_ != 0) {
        value = {static_cast<uint8_t>(reportRate_ >> 24), static_cast<uint8_t>(reportRate_ >> 16),
                 static_cast<uint8_t>(reportRate_ >> 8), static_cast<uint8_t>(reportRate_)};
    }
    Bytes answer = {Iac, Sb, ComPort, static_cast<uint8_t>(command[0] + 100)};
    for (const uint8_t byte : value) {
        answer.push_back(byte);
        if (byte == Iac) {
            answer.push_back(Iac);
        }
    }
    answer.insert(answer.end(), {Iac, Se});
    SendRaw(answer);
}
