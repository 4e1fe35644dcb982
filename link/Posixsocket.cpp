#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/Netsocket.h"

namespace {

using Clock = std::chrono::steady_clock;

NetFailure FailureOf(int error) {
    switch (error) {
        case ECONNREFUSED:
            return {NetError::Refused, {}};
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ENETDOWN:
        case EADDRNOTAVAIL:  // an IPv6 address on a machine without IPv6
        case EAFNOSUPPORT:
            return {NetError::NoRoute, {}};
        case ETIMEDOUT:
            return {NetError::TimedOut, {}};
        case EADDRINUSE:
            return {NetError::AddressInUse, {}};
        case ECONNRESET:
        case EPIPE:
        case ECONNABORTED:
            return {NetError::Closed, {}};
        default:
            return {NetError::Other, std::strerror(error)};
    }
}

// Waits for events on the socket; a signal that ends the wait counts as the wait ending.
bool WaitFor(int fd, short events, std::chrono::nanoseconds wait) {
    if (wait < std::chrono::nanoseconds::zero()) {
        wait = std::chrono::nanoseconds::zero();
    }
    pollfd pfd{fd, events, 0};
    const timespec ts{static_cast<time_t>(wait.count() / 1000000000),
                      static_cast<long>(wait.count() % 1000000000)};
    return ppoll(&pfd, 1, &ts, nullptr) > 0;
}

int NewSocket(int family) {
    return socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

// One address within the time left; the socket on success, -1 with the cause otherwise.
int ConnectTo(const addrinfo& address, Clock::time_point deadline, NetFailure& failure,
              const std::function<bool()>& keepWaiting) {
    const int fd = NewSocket(address.ai_family);
    if (fd < 0) {
        failure = FailureOf(errno);
        return -1;
    }
    int error = 0;
    if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            error = ETIMEDOUT;
            while (Clock::now() < deadline) {
                if (keepWaiting && !keepWaiting()) {
                    failure = {NetError::Cancelled, {}};
                    close(fd);
                    return -1;
                }
                if (WaitFor(fd, POLLOUT,
                            std::min<Clock::duration>(deadline - Clock::now(),
                                                      std::chrono::milliseconds(100)))) {
                    socklen_t length = sizeof error;
                    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                        error = errno;
                    }
                    break;
                }
            }
        }
    }
    if (error != 0) {
        failure = FailureOf(error);
        close(fd);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

NetSocket& NetSocket::operator=(NetSocket&& other) noexcept {
    if (this != &other) {
        Close();
        id_ = other.id_;
        other.id_ = Invalid;
    }
    return *this;
}

void NetSocket::Close() {
    if (id_ != Invalid) {
        close(static_cast<int>(id_));
        id_ = Invalid;
    }
}

IoResult NetSocket::Send(const uint8_t* data, size_t count, size_t& sent, NetFailure& failure) {
    sent = 0;
    // A closed peer gives EPIPE here, not a SIGPIPE that ends the program.
    const ssize_t n = send(static_cast<int>(id_), data, count, MSG_NOSIGNAL);
    if (n >= 0) {
        sent = static_cast<size_t>(n);
        return IoResult::Done;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return IoResult::WouldBlock;
    }
    failure = FailureOf(errno);
    return failure.Error == NetError::Closed ? IoResult::Closed : IoResult::Failed;
}

IoResult NetSocket::Receive(uint8_t* buffer, size_t size, size_t& received, NetFailure& failure) {
    received = 0;
    const ssize_t n = recv(static_cast<int>(id_), buffer, size, 0);
    if (n > 0) {
        received = static_cast<size_t>(n);
        // What arrived is acknowledged at once: a server that leaves Nagle on (ser2net does)
        // holds the rest of an answer until the first part is acknowledged, and Linux would
        // delay that by up to 40 ms. The flag lasts until the kernel drops it, so it is set
        // again after every read.
        const int on = 1;
        setsockopt(static_cast<int>(id_), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        return IoResult::Done;
    }
    if (n == 0) {
        failure = {NetError::Closed, {}};
        return IoResult::Closed;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return IoResult::WouldBlock;
    }
    failure = FailureOf(errno);
    return failure.Error == NetError::Closed ? IoResult::Closed : IoResult::Failed;
}

bool NetSocket::WaitReadable(std::chrono::nanoseconds wait) {
    return WaitFor(static_cast<int>(id_), POLLIN, wait);
}

bool NetSocket::WaitWritable(std::chrono::nanoseconds wait) {
    return WaitFor(static_cast<int>(id_), POLLOUT, wait);
}

NetSocket NetSocket::Accept(std::chrono::nanoseconds wait, NetFailure& failure) {
    if (!WaitReadable(wait)) {
        return {};
    }
    const int fd = accept4(static_cast<int>(id_), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        // A caller that gave up between the knock and the accept is no failure of ours.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
            failure = FailureOf(errno);
        }
        return {};
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return NetSocket(fd);
}

NetSocket ConnectSocket(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
                        NetFailure& failure, std::chrono::nanoseconds& handshake,
                        const std::function<bool()>& keepWaiting) {
    const auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0) {
        if (resolved == EAI_SYSTEM) {
            failure = FailureOf(errno);
        } else if (resolved == EAI_MEMORY || resolved == EAI_SERVICE) {
            failure = {NetError::Other, gai_strerror(resolved)};
        } else {
            // No such name, no address of it, or no name server to ask.
            failure = {NetError::HostNotFound, {}};
        }
        return {};
    }
    failure = {NetError::TimedOut, {}};
    int fd = -1;
    for (const addrinfo* address = found; address && fd < 0; address = address->ai_next) {
        if (Clock::now() >= deadline) {
            break;
        }
        NetFailure attempt;
        const auto start = Clock::now();
        fd = ConnectTo(*address, deadline, attempt, keepWaiting);
        handshake = Clock::now() - start;
        if (fd < 0 &&
            (address == found || NetErrorWeight(attempt.Error) > NetErrorWeight(failure.Error))) {
            failure = attempt;
        }
    }
    freeaddrinfo(found);
    if (fd >= 0) {
        failure = {};
    }
    return fd >= 0 ? NetSocket(fd) : NetSocket();
}

NetSocket ListenSocket(uint16_t port, NetFailure& failure) {
    // One socket for both families where the machine has IPv6, else IPv4 alone.
    int fd = NewSocket(AF_INET6);
    if (fd >= 0) {
        const int off = 0;
        const int on = 1;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        // The port of a connection just ended is free again at once.
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_addr = in6addr_any;
        any.sin6_port = htons(port);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
            if (errno == EADDRINUSE) {
                failure = FailureOf(errno);
                close(fd);
                return {};
            }
            close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        fd = NewSocket(AF_INET);
        if (fd < 0) {
            failure = FailureOf(errno);
            return {};
        }
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        any.sin_port = htons(port);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
            failure = FailureOf(errno);
            close(fd);
            return {};
        }
    }
    if (listen(fd, 1) != 0) {
        failure = FailureOf(errno);
        close(fd);
        return {};
    }
    return NetSocket(fd);
}
