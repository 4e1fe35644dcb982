#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/Plcbox.h"
#include "tests/support/Fakes.h"

namespace {

uint16_t CheckSumOf(const std::vector<uint8_t>& bytes) {
    return FrameCheckSum(bytes.data(), static_cast<uint16_t>(bytes.size()));
}

struct FrameTest : testing::Test {
    void SetUp() override {
        engine.Port = &port;
        engine.Clock = &clock;
        engine.Attempts = 1;
    }
    bool Execute(uint8_t code, const std::vector<uint8_t>& data) {
        return engine.ExecuteCommand(code, data.data(), data.size());
    }
    std::vector<uint8_t> Request() const {
        return {engine.RequestBuffer.begin(),
                engine.RequestBuffer.begin() + engine.RequestBuffer[2]};
    }

    FakeClock clock;
    ScriptedPort port{clock};
    LinkEngine engine{0};
};

TEST(FrameCheckSum, MatchesPublishedCrc16Modbus) {
    EXPECT_EQ(CheckSumOf({'a', 'b', 'c'}), 0x5749);
    EXPECT_EQ(CheckSumOf({'a', 'b', 'c', 0x49, 0x57}), 0);
    EXPECT_EQ(CheckSumOf({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x4B37);
    EXPECT_EQ(FrameCheckSum(nullptr, 0), 0xFFFF);
}

TEST_F(FrameTest, IdentificationReadIsExactOnTheWire) {
    port.Answer(IdentResponse());
    ASSERT_TRUE(Execute(TableExchange, {0, 0, 17, 0, 0, 0}));
    const std::vector<uint8_t> expected = {0xCC, 0x00, 0x0C, 0x1D, 0x00, 0x00,
                                           0x11, 0x00, 0x00, 0x00, 0x7D, 0x6C};
    EXPECT_EQ(Request(), expected);
    const auto writes = port.EventsOf(PortEvent::Write);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, expected);
    EXPECT_EQ(engine.CommandCode, TableExchange);
    EXPECT_EQ(std::vector<uint8_t>(engine.ResponseBuffer.begin(),
                                   engine.ResponseBuffer.begin() + IdentResponse().size()),
              IdentResponse());
}

TEST_F(FrameTest, LargestWriteFillsAWholeFrameAndNoMore) {
    std::vector<uint8_t> data = {0, 0, 0, 6, 1, 243};
    for (int i = 0; i < 243; ++i) {
        data.push_back(static_cast<uint8_t>(i * 7));
    }
    port.Answer(ResponseFrame(0x9D, {}));
    ASSERT_TRUE(Execute(TableExchange, data));
    const auto request = Request();
    ASSERT_EQ(request.size(), 255u);
    EXPECT_EQ(request[2], 255);
    EXPECT_EQ(CheckSumOf(request), 0);
    EXPECT_EQ(0, std::memcmp(request.data() + 4, data.data(), data.size()));

    // One value more cannot be framed: the length byte would wrap.
    data.push_back(0);
    port.events.clear();
    EXPECT_FALSE(Execute(TableExchange, data));
    EXPECT_EQ(engine.ResultCode, ResultBadFunction);
    EXPECT_TRUE(port.events.empty());
}

TEST_F(FrameTest, OnlyTheTableExchangeIsBuiltAndNothingElseIsSent) {
    for (uint8_t code : {0, 1, 28, 30, 0x9D, 255}) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(Execute(code, {0, 0, 17, 0, 0, 0}));
        EXPECT_EQ(engine.ResultCode, ResultBadFunction);
        EXPECT_EQ(engine.CommandCode, code);
    }
    EXPECT_TRUE(port.events.empty());
}

TEST_F(FrameTest, ResponseChecks) {
    // Exactly six bytes (no data) is a whole frame.
    port.Answer(ResponseFrame(0x9D, {}));
    EXPECT_TRUE(Execute(TableExchange, {0, 0, 0, 3, 0, 1, 11}));

    // Bit 7 clear in the echoed code is a refusal, not a success.
    port.Answer(ResponseFrame(TableExchange, {13}));
    EXPECT_FALSE(Execute(TableExchange, {0, 0, 17, 0, 0, 0}));
    EXPECT_EQ(engine.ResultCode, ResultRefused);
    EXPECT_EQ(engine.ResultText(), DeviceErrorTexts[13]);

    // Another function code with bit 7 set is no acceptance either.
    port.Answer(ResponseFrame(0x9E, {13}));
    EXPECT_FALSE(Execute(TableExchange, {0, 0, 17, 0, 0, 0}));
    EXPECT_EQ(engine.ResultCode, ResultRefused);

    auto damaged = IdentResponse();
    damaged[10] ^= 0x01;
    port.Answer(damaged);
    EXPECT_FALSE(Execute(TableExchange, {0, 0, 17, 0, 0, 0}));
    EXPECT_EQ(engine.ResultCode, ResultCheckSum);
}

TEST_F(FrameTest, ResponseFromAnotherAddressIsNeverTaken) {
    engine.DeviceAddress = 3;
    port.Answer(IdentResponse());  // from address 0
    EXPECT_FALSE(Execute(TableExchange, {0, 0, 17, 0, 0, 0}));
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    EXPECT_EQ(engine.RequestBuffer[1], 3);

    auto frame = ResponseFrame(0x9D, {0, 0, 17}, 3);
    port.Answer(frame);
    EXPECT_TRUE(Execute(TableExchange, {0, 0, 17, 0, 0, 0}));
}

}  // namespace
