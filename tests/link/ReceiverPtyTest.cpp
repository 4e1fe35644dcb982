// The receiver against a device on the far side of a real pty.
#include <gtest/gtest.h>

#include <ctime>
#include <thread>
#include <vector>

#include "link/Plcbox.h"
#include "tests/support/Fakes.h"
#include "tests/support/PtyPeer.h"

namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;
using Steps = std::vector<PtyPeer::Step>;

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct ReceiverTest : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        LineSettings settings;
        settings.BaudRate = 9600;
        port = OpenComPortAt(peer.SlavePath(), settings);
        ASSERT_TRUE(port);
        engine.Port = port.get();
        engine.BaudRate = 9600;
        engine.FirstByteTimeout = 400;
        engine.Attempts = 1;
    }
    // The device answers every request with these steps.
    void Device(Steps steps) {
        peer.Serve([steps](const Bytes&) { return steps; });
    }
    bool ReadIdent() {
        const Bytes header = {0, 0, 17, 0, 0, 0};
        return engine.ExecuteCommand(TableExchange, header.data(), header.size());
    }
    Bytes Response() const {
        return {engine.ResponseBuffer.begin(),
                engine.ResponseBuffer.begin() + engine.ResponseBuffer[2]};
    }

    PtyPeer peer;
    TransportHandle port;
    LinkEngine engine{0};
};

TEST_F(ReceiverTest, RequestArrivesWholeAndTheAnswerIsTaken) {
    Device({{milliseconds(5), IdentResponse()}});
    ASSERT_TRUE(ReadIdent());
    EXPECT_EQ(Response(), IdentResponse());
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0],
              Bytes(engine.RequestBuffer.begin(), engine.RequestBuffer.begin() + 12));
}

TEST_F(ReceiverTest, NoiseBeforeTheStartSymbolIsDropped) {
    Device({{milliseconds(5), {0x00, 0xFF, 0xCC, 0x12}}, {milliseconds(3), IdentResponse()}});
    ASSERT_TRUE(ReadIdent());
    EXPECT_EQ(Response(), IdentResponse());
}

TEST_F(ReceiverTest, SecondStartSymbolBecomesTheStart) {
    Device({{milliseconds(5), Join({51}, IdentResponse())}});
    ASSERT_TRUE(ReadIdent());
    EXPECT_EQ(Response(), IdentResponse());
}

TEST_F(ReceiverTest, WrongAddressOrShortLengthRestartsTheSearch) {
    Device({{milliseconds(5), Join({51, 7, 51, 0, 5}, IdentResponse())}});
    ASSERT_TRUE(ReadIdent());
    EXPECT_EQ(Response(), IdentResponse());
}

TEST_F(ReceiverTest, ResponseThatStopsAfterThreeBytesIsIncomplete) {
    const Bytes ident = IdentResponse();
    Device({{milliseconds(5), Bytes(ident.begin(), ident.begin() + 3)}});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultIncomplete);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(engine.FirstByteTimeout));
}

TEST_F(ReceiverTest, BytesWithoutAValidStartAndAddressMeanNoAnswer) {
    Steps noise;
    for (int i = 0; i < 60; ++i) {  // 1.2 s of bytes, well past the 400 ms deadline
        noise.push_back({milliseconds(20), {static_cast<uint8_t>(i % 2 ? 51 : 7)}});
    }
    Device(noise);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1000));
}

TEST_F(ReceiverTest, DamagedCheckSum) {
    Bytes ident = IdentResponse();
    ident.back() ^= 0x40;
    Device({{milliseconds(5), ident}});
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultCheckSum);
}

TEST_F(ReceiverTest, RefusalsCarryTheDevicesText) {
    int request = 0;
    peer.Serve([&request](const Bytes&) -> Steps {
        if (request++ == 0) {
            return {{milliseconds(5), ResponseFrame(TableExchange, {13})}};
        }
        return {{milliseconds(5), ResponseFrame(TableExchange, {24, 5, 1})}};
    });
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultRefused);
    EXPECT_EQ(engine.ResultText(), "Нет такого поля в таблице");
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultValve);
    EXPECT_EQ(engine.ResultText(), "Перестановка крана невозможна.");
}

TEST_F(ReceiverTest, SixByteResponseIsAWholeFrame) {
    Device({{milliseconds(5), ResponseFrame(0x9D, {})}});
    const Bytes write = {0, 0, 0, 3, 0, 1, 11};
    EXPECT_TRUE(engine.ExecuteCommand(TableExchange, write.data(), write.size()));
    EXPECT_EQ(Response(), ResponseFrame(0x9D, {}));
}

TEST_F(ReceiverTest, LineThatVanishesFailsTheCommandWithoutSpinning) {
    Device({});  // takes the request, then the adapter is pulled while we wait
    std::thread unplug([this] {
        std::this_thread::sleep_for(milliseconds(100));
        peer.Vanish();
    });
    engine.Attempts = 2;
    const auto start = std::chrono::steady_clock::now();
    const clock_t cpuStart = std::clock();
    EXPECT_FALSE(ReadIdent());
    unplug.join();
    EXPECT_EQ(engine.ResultCode, ResultWriteFailed);  // the second attempt finds no line
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    EXPECT_LT(wall, 2.0);
    EXPECT_LT(cpu, wall / 2 + 0.05);  // a spinning loop would use the whole wait
}

}  // namespace
