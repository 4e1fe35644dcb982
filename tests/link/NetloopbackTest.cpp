// A terminal that calls in, played by the program's own outgoing link: both ends of a raw
// TCP link on the loopback, through the system's sockets on every platform.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <random>
#include <thread>

#include "link/Nettransport.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes ReadBytes(Transport& transport, size_t count) {
    Bytes bytes;
    uint8_t byte = 0;
    while (bytes.size() < count && transport.ReadByte(byte, 2s) == ReadStatus::Byte) {
        bytes.push_back(byte);
    }
    return bytes;
}

TEST(NetLoopback, TerminalCallsInAndBytesPassBothWays) {
    std::atomic<bool> connected{false};
    std::string failure;
    std::promise<uint16_t> listening;
    auto called = std::async(std::launch::async, [&]() -> TransportHandle {
        // A port of the upper range; another one where something holds it already.
        std::mt19937 random(std::random_device{}());
        bool told = false;
        for (int attempt = 0; attempt < 10; ++attempt) {
            const auto port = static_cast<uint16_t>(40000 + random() % 20000);
            std::string cause;
            TransportHandle link = ListenTcp(
                port,
                [&] {
                    if (!told) {
                        told = true;
                        listening.set_value(port);
                    }
                    return !connected;
                },
                &cause);
            if (link || cause != NetPortInUseText) {
                failure = cause;
                if (!told) {
                    listening.set_value(0);
                }
                return link;
            }
        }
        listening.set_value(0);
        return nullptr;
    });
    const uint16_t port = listening.get_future().get();
    ASSERT_NE(port, 0) << failure;

    // A second listener on the same port is told the port is taken.
    std::string second;
    EXPECT_FALSE(ListenTcp(
        port, [] { return true; }, &second));
    EXPECT_EQ(second, NetPortInUseText);

    std::string connectFailure;
    TransportHandle caller =
        ConnectTcp({"127.0.0.1", port, NetProtocol::Raw}, 9600, 2000ms, &connectFailure);
    connected = true;
    ASSERT_TRUE(caller) << connectFailure;
    TransportHandle callee = called.get();
    ASSERT_TRUE(callee) << failure;
    EXPECT_EQ(callee->Driver(), LineDriver::Converter);

    const Bytes request = {0xFF, 0xFF, 0xCC, 0x00, 0x06, 0xFF};
    const Bytes answer = {0xFF, 0xCC, 0x00, 0x05, 0x00};
    ASSERT_TRUE(caller->Write(request.data(), request.size(), 1s));
    EXPECT_EQ(ReadBytes(*callee, request.size()), request);
    ASSERT_TRUE(callee->Write(answer.data(), answer.size(), 1s));
    EXPECT_EQ(ReadBytes(*caller, answer.size()), answer);

    // The terminal hangs up: the program's side loses the line.
    callee.reset();
    uint8_t byte = 0;
    EXPECT_EQ(caller->ReadByte(byte, 2s), ReadStatus::Failed);
    EXPECT_TRUE(caller->LineLost());
    EXPECT_EQ(caller->ReadFailure(), NetConnectionLostText);
}

TEST(NetLoopback, WaitForACallEndsWhenTheProgramSaysSo) {
    std::vector<Clock::time_point> asked;
    const auto start = Clock::now();
    std::string failure = "unchanged";
    // Port 0: any free one, which no terminal knows.
    TransportHandle link = ListenTcp(
        0,
        [&] {
            asked.push_back(Clock::now());
            return Clock::now() - start < 300ms;
        },
        &failure);
    EXPECT_FALSE(link);
    EXPECT_EQ(failure, "");
    EXPECT_LT(Clock::now() - start, 600ms);
    ASSERT_GE(asked.size(), 3u);
    for (size_t i = 1; i < asked.size(); ++i) {
        EXPECT_LT(asked[i] - asked[i - 1], 150ms);
    }
}

}  // namespace
