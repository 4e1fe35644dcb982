// The device connection over a network link, against a server of the tests' own: what the
// operator meets when the server is silent, busy, or drops the line in mid-answer, and
// when he presses Escape or closes the program while the program waits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "connection/Deviceconnection.h"
#include "link/Conffun.h"
#include "link/Nettransport.h"
#include "tests/support/Fakes.h"
#include "tests/support/TcpPeer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct NetworkLink : testing::Test {
    void SetUp() override {
        engine.Ui = &screen;
        settings.LinkType = LinkTypeNetwork;
        settings.BaudRate = 9600;
        settings.FirstByteTimeout = 1;
        settings.ExchangeAttempts = 1;
        device.Network.Host = "127.0.0.1";
    }
    // The identification request as it reaches the server: 12 bytes, no preambles.
    static constexpr size_t IdentRequest = 12;

    LinkEngine engine{0};
    ConfigImage image;
    ConnectionSettings settings;
    RecordingScreen screen{SystemClock()};
    DeviceConnection device{engine, image, settings, screen};
};

// Escape or a close ends the wait for a server that never answers, or for a terminal that
// never calls, at once and without a message; the connection is free again.
struct Cancel {
    bool callIn;
    bool close;
};
struct CancelledWait : NetworkLink, testing::WithParamInterface<Cancel> {};

TEST_P(CancelledWait, EndsAtOnceWithoutAMessage) {
    FullTcpBacklog silent;
    ASSERT_TRUE(silent.ok());
    device.Network.CallIn = GetParam().callIn;
    device.Network.Port = GetParam().callIn ? FreeTcpPort() : silent.Port();
    int pumps = 0;
    screen.onPump = [&] {
        if (++pumps == 3) {
            GetParam().close ? device.RequestStop() : void(screen.escape = true);
        }
    };
    const auto start = Clock::now();
    EXPECT_FALSE(device.Open(settings));
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(screen.messages.empty());
    EXPECT_EQ(device.Port(), nullptr);
    EXPECT_FALSE(device.Busy());
}

INSTANTIATE_TEST_SUITE_P(Waits, CancelledWait,
                         testing::Values(Cancel{false, false}, Cancel{false, true},
                                         Cancel{true, false}, Cancel{true, true}));

TEST_F(NetworkLink, ABusyServerIsNamedAsSuch) {
    TcpPeer server;
    server.Serve([](TcpPeer::Line& line) {
        line.Send({'P', 'o', 'r', 't', ' ', 'i', 'n', ' ', 'u', 's', 'e', '\r', '\n'});
        line.Close();
    });
    device.Network.Port = server.Port();
    EXPECT_FALSE(device.Open(settings));
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].first,
              "Узел 127.0.0.1:" + std::to_string(server.Port()) + " недоступен");
    EXPECT_EQ(screen.messages[0].second, std::string(NetServerBusyText) + ": Port in use");
}

// The server goes in the middle of an answer: the read ends with its result, the
// connection is let go, and the status bar names the address with "нет связи".
TEST_F(NetworkLink, AConnectionDroppedMidAnswerIsLetGo) {
    TcpPeer server;
    server.Serve([](TcpPeer::Line& line) {
        line.Read(IdentRequest);
        const std::vector<uint8_t> answer = IdentResponse();
        line.Send({answer.begin(), answer.begin() + 7});
        line.Close();
    });
    device.Network.Port = server.Port();
    ASSERT_TRUE(device.Open(settings));
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());
    EXPECT_EQ(device.PanelText(), " " + address + ",   9600 бит/с");
    EXPECT_FALSE(device.ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultIncomplete);
    EXPECT_EQ(engine.LinkFailure, NetConnectionLostText);
    EXPECT_TRUE(device.LinkLost());
    EXPECT_EQ(device.Port(), nullptr);
    EXPECT_EQ(screen.PanelTexts(ConnectionPanel).back(), " " + address + ",   нет связи");
}

}  // namespace
