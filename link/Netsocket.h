#pragma once
// The little of the system's sockets that the network transports need: one TCP connection
// or one listening socket, non-blocking, closed with its object. Each platform implements
// it in a file of its own; the causes come back as codes, and the texts are the caller's.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

enum class NetError {
    None,
    HostNotFound,
    Refused,
    NoRoute,
    TimedOut,
    AddressInUse,  // a listening port another program holds
    Closed,        // the far side closed or reset the connection
    Other,         // Detail tells the system's own words
    Cancelled,     // the caller ended the wait
};

struct NetFailure {
    NetError Error = NetError::None;
    std::string Detail;
};

// The cause worth telling when several addresses of a host failed: a refusal proves the
// host is there, and a silent host says more than a missing route.
inline int NetErrorWeight(NetError error) {
    switch (error) {
        case NetError::Refused:
            return 4;
        case NetError::TimedOut:
            return 3;
        case NetError::NoRoute:
            return 2;
        default:
            return 1;
    }
}

enum class IoResult { Done, WouldBlock, Closed, Failed };

class NetSocket {
public:
    NetSocket() = default;
    explicit NetSocket(intptr_t id) : id_(id) {}
    ~NetSocket() { Close(); }
    NetSocket(NetSocket&& other) noexcept : id_(other.id_) { other.id_ = Invalid; }
    NetSocket& operator=(NetSocket&& other) noexcept;
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    bool Valid() const { return id_ != Invalid; }
    void Close();

    // As much as the system takes now; sent says how much.
    IoResult Send(const uint8_t* data, size_t count, size_t& sent, NetFailure& failure);
    // What has arrived, at most size bytes; Closed at the end of the stream.
    IoResult Receive(uint8_t* buffer, size_t size, size_t& received, NetFailure& failure);
    // True once the socket can be read (data, the end of the stream or an error) or
    // written, false when the wait ended first or the wait itself failed.
    bool WaitReadable(std::chrono::nanoseconds wait);
    bool WaitWritable(std::chrono::nanoseconds wait);

    // A listening socket: the next connection within wait; an invalid socket when none came.
    NetSocket Accept(std::chrono::nanoseconds wait, NetFailure& failure);

    static constexpr intptr_t Invalid = -1;

private:
    intptr_t id_ = Invalid;
};

// Resolves host and connects to the first of its addresses that takes the connection,
// all within timeout. TCP_NODELAY is on: a frame leaves as soon as it is written.
// handshake is the time the connection itself took, without the name's look-up. While it
// waits for the connection, keepWaiting (when given) is asked every 100 ms and ends the
// wait, Cancelled, when false.
NetSocket ConnectSocket(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
                        NetFailure& failure, std::chrono::nanoseconds& handshake,
                        const std::function<bool()>& keepWaiting = {});
// Listens on every address of the machine (IPv6 and IPv4 where both are there).
NetSocket ListenSocket(uint16_t port, NetFailure& failure);
