// Winsock 2 first: windows.h alone brings the old Winsock in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "link/Netsocket.h"

namespace {

using Clock = std::chrono::steady_clock;

// Winsock wants starting once per process before its first call; it is never stopped,
// as the sockets live until the program ends.
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

NetFailure FailureOf(int error) {
    switch (error) {
        case WSAECONNREFUSED:
            return {NetError::Refused, {}};
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAEHOSTDOWN:
        case WSAENETDOWN:
        case WSAEADDRNOTAVAIL:
        case WSAEAFNOSUPPORT:
            return {NetError::NoRoute, {}};
        case WSAETIMEDOUT:
            return {NetError::TimedOut, {}};
        case WSAEADDRINUSE:
        case WSAEACCES:  // another program holds the port exclusively
            return {NetError::AddressInUse, {}};
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAESHUTDOWN:
        case WSAENETRESET:
            return {NetError::Closed, {}};
        default:
            return {NetError::Other, "код ошибки Winsock " + std::to_string(error)};
    }
}

SOCKET Id(intptr_t id) {
    return static_cast<SOCKET>(id);
}

// Readable, writable or failed within wait; select, as WSAPoll misses a refused connect.
bool WaitFor(SOCKET socket, bool write, std::chrono::nanoseconds wait, bool* failed = nullptr) {
    if (wait < std::chrono::nanoseconds::zero()) {
        wait = std::chrono::nanoseconds::zero();
    }
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
    timeval limit{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
    fd_set ready;
    fd_set errors;
    FD_ZERO(&ready);
    FD_ZERO(&errors);
    FD_SET(socket, &ready);
    FD_SET(socket, &errors);
    const int r = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &errors, &limit);
    if (failed) {
        *failed = r > 0 && FD_ISSET(socket, &errors);
    }
    return r > 0;
}

SOCKET NewSocket(int family) {
    const SOCKET socket = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return socket;
    }
    // Programs the program starts must not hold its connections.
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    return socket;
}

void NoDelay(SOCKET socket) {
    const BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

SOCKET ConnectTo(const addrinfo& address, Clock::time_point deadline, NetFailure& failure,
                 const std::function<bool()>& keepWaiting) {
    const SOCKET socket = NewSocket(address.ai_family);
    if (socket == INVALID_SOCKET) {
        failure = FailureOf(WSAGetLastError());
        return INVALID_SOCKET;
    }
    int error = 0;
    if (connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            bool failed = false;
            bool ready = false;
            while (!ready && Clock::now() < deadline) {
                if (keepWaiting && !keepWaiting()) {
                    failure = {NetError::Cancelled, {}};
                    closesocket(socket);
                    return INVALID_SOCKET;
                }
                ready = WaitFor(socket, true,
                                std::min<Clock::duration>(deadline - Clock::now(),
                                                          std::chrono::milliseconds(100)),
                                &failed);
            }
            if (!ready) {
                error = WSAETIMEDOUT;
            } else if (failed) {
                int length = sizeof error;
                if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                               &length) != 0 ||
                    error == 0) {
                    error = WSAECONNREFUSED;
                }
            } else {
                error = 0;
            }
        }
    }
    if (error != 0) {
        failure = FailureOf(error);
        closesocket(socket);
        return INVALID_SOCKET;
    }
    NoDelay(socket);
    return socket;
}

bool BindListening(SOCKET socket, const sockaddr* address, int length) {
    // No other program may take the port while we wait on it.
    const BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
    return bind(socket, address, length) == 0;
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
        closesocket(Id(id_));
        id_ = Invalid;
    }
}

IoResult NetSocket::Send(const uint8_t* data, size_t count, size_t& sent, NetFailure& failure) {
    sent = 0;
    const int chunk = static_cast<int>(std::min<size_t>(count, 1 << 30));
    const int n = send(Id(id_), reinterpret_cast<const char*>(data), chunk, 0);
    if (n != SOCKET_ERROR) {
        sent = static_cast<size_t>(n);
        return IoResult::Done;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) {
        return IoResult::WouldBlock;
    }
    failure = FailureOf(error);
    return failure.Error == NetError::Closed ? IoResult::Closed : IoResult::Failed;
}

IoResult NetSocket::Receive(uint8_t* buffer, size_t size, size_t& received, NetFailure& failure) {
    received = 0;
    const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 30));
    const int n = recv(Id(id_), reinterpret_cast<char*>(buffer), chunk, 0);
    if (n > 0) {
        received = static_cast<size_t>(n);
        return IoResult::Done;
    }
    if (n == 0) {
        failure = {NetError::Closed, {}};
        return IoResult::Closed;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) {
        return IoResult::WouldBlock;
    }
    failure = FailureOf(error);
    return failure.Error == NetError::Closed ? IoResult::Closed : IoResult::Failed;
}

bool NetSocket::WaitReadable(std::chrono::nanoseconds wait) {
    return WaitFor(Id(id_), false, wait);
}

bool NetSocket::WaitWritable(std::chrono::nanoseconds wait) {
    return WaitFor(Id(id_), true, wait);
}

NetSocket NetSocket::Accept(std::chrono::nanoseconds wait, NetFailure& failure) {
    if (!WaitReadable(wait)) {
        return {};
    }
    const SOCKET socket = accept(Id(id_), nullptr, nullptr);
    if (socket == INVALID_SOCKET) {
        const int error = WSAGetLastError();
        // A caller that gave up between the knock and the accept is no failure of ours.
        if (error != WSAEWOULDBLOCK && error != WSAEINTR && error != WSAECONNRESET) {
            failure = FailureOf(error);
        }
        return {};
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    NoDelay(socket);
    return NetSocket(static_cast<intptr_t>(socket));
}

NetSocket ConnectSocket(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
                        NetFailure& failure, std::chrono::nanoseconds& handshake,
                        const std::function<bool()>& keepWaiting) {
    if (!WinsockStarted()) {
        failure = FailureOf(WSAGetLastError());
        return {};
    }
    const auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0) {
        if (resolved == WSAHOST_NOT_FOUND || resolved == WSANO_DATA || resolved == WSATRY_AGAIN ||
            resolved == WSANO_RECOVERY) {
            failure = {NetError::HostNotFound, {}};
        } else {
            failure = FailureOf(resolved);
        }
        return {};
    }
    failure = {NetError::TimedOut, {}};
    SOCKET socket = INVALID_SOCKET;
    for (const addrinfo* address = found; address && socket == INVALID_SOCKET;
         address = address->ai_next) {
        if (Clock::now() >= deadline) {
            break;
        }
        NetFailure attempt;
        const auto start = Clock::now();
        socket = ConnectTo(*address, deadline, attempt, keepWaiting);
        handshake = Clock::now() - start;
        if (socket == INVALID_SOCKET &&
            (address == found || NetErrorWeight(attempt.Error) > NetErrorWeight(failure.Error))) {
            failure = attempt;
        }
    }
    freeaddrinfo(found);
    if (socket == INVALID_SOCKET) {
        return {};
    }
    failure = {};
    return NetSocket(static_cast<intptr_t>(socket));
}

NetSocket ListenSocket(uint16_t port, NetFailure& failure) {
    if (!WinsockStarted()) {
        failure = FailureOf(WSAGetLastError());
        return {};
    }
    // One socket for both families where the machine has IPv6, else IPv4 alone.
    SOCKET socket = NewSocket(AF_INET6);
    if (socket != INVALID_SOCKET) {
        const DWORD off = 0;
        setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off),
                   sizeof off);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_addr = in6addr_any;
        any.sin6_port = htons(port);
        if (!BindListening(socket, reinterpret_cast<const sockaddr*>(&any), sizeof any)) {
            const int error = WSAGetLastError();
            closesocket(socket);
            socket = INVALID_SOCKET;
            if (error == WSAEADDRINUSE || error == WSAEACCES) {
                failure = FailureOf(error);
                return {};
            }
        }
    }
    if (socket == INVALID_SOCKET) {
        socket = NewSocket(AF_INET);
        if (socket == INVALID_SOCKET) {
            failure = FailureOf(WSAGetLastError());
            return {};
        }
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        any.sin_port = htons(port);
        if (!BindListening(socket, reinterpret_cast<const sockaddr*>(&any), sizeof any)) {
            failure = FailureOf(WSAGetLastError());
            closesocket(socket);
            return {};
        }
    }
    if (listen(socket, 1) != 0) {
        failure = FailureOf(WSAGetLastError());
        closesocket(socket);
        return {};
    }
    return NetSocket(static_cast<intptr_t>(socket));
}
