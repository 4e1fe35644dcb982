// The line sequence of one exchange, timed on a clock that moves only when the
// transceiver waits: every pause and deadline is checked to the nanosecond.
#include <gtest/gtest.h>

#include <vector>

#include "link/Plcbox.h"
#include "tests/support/Fakes.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// (bytes + 1) × 10 bit times at rate, truncated to whole clock counts.
nanoseconds ByteTimes(int64_t bytes, int64_t rate) {
    return nanoseconds((bytes + 1) * 10 * 1000000000LL / rate);
}

struct LineTest : testing::Test {
    void SetUp() override {
        engine.Port = &port;
        engine.Clock = &clock;
        engine.Ui = &screen;
        engine.StatusPanel = StatusExchangePanel;
    }
    bool ReadIdent() {
        const std::vector<uint8_t> header = {0, 0, 17, 0, 0, 0};
        return engine.ExecuteCommand(TableExchange, header.data(), header.size());
    }
    bool WriteOneField() {
        const std::vector<uint8_t> data = {0, 0, 0, 3, 0, 1, 11};
        return engine.ExecuteCommand(TableExchange, data.data(), data.size());
    }
    std::vector<PortEvent::Kind> Kinds() const {
        std::vector<PortEvent::Kind> kinds;
        for (const auto& e : port.events) {
            kinds.push_back(e.kind);
        }
        return kinds;
    }

    FakeClock clock;
    ScriptedPort port{clock};
    RecordingScreen screen{clock};
    LinkEngine engine{0};
};

TEST_F(LineTest, OneAttemptRunsTheWholeSequenceInOrder) {
    engine.BaudRate = 9600;
    port.Answer(IdentResponse());
    ASSERT_TRUE(ReadIdent());
    using K = PortEvent;
    const std::vector<PortEvent::Kind> expected = {K::Baud,  K::Purge, K::Dtr,  K::Rts,
                                                   K::Write, K::Rts,   K::Purge};
    EXPECT_EQ(Kinds(), expected);
    EXPECT_EQ(port.events[0].value, 9600);
    // 50 ms a byte and 50 more for the write.
    EXPECT_EQ(port.events[4].limit, milliseconds(50 * port.events[4].value + 50));
    EXPECT_EQ(port.events[2].value, 1);              // DTR up
    EXPECT_EQ(port.events[3].value, 1);              // RTS up
    EXPECT_EQ(port.events[5].value, 0);              // RTS down
    EXPECT_TRUE(port.EventsOf(K::Dtr).size() == 1);  // DTR is never dropped
}

TEST_F(LineTest, RtsPauseComesBeforeTheFirstByte) {
    for (int pause : {2, 100}) {
        SCOPED_TRACE(pause);
        port.events.clear();
        engine.RtsPause = pause;
        port.Answer(IdentResponse());
        ASSERT_TRUE(ReadIdent());
        EXPECT_EQ(port.TimeOf(PortEvent::Write, 12) - port.TimeOf(PortEvent::Rts, 1),
                  milliseconds(pause));
    }
}

TEST_F(LineTest, RtsDropsWhenTheLastBitHasLeft) {
    engine.BaudRate = 1200;
    port.Answer(IdentResponse());
    ASSERT_TRUE(ReadIdent());
    EXPECT_EQ(port.TimeOf(PortEvent::Rts, 0) - port.TimeOf(PortEvent::Write, 12),
              ByteTimes(12, 1200));  // about 108 ms

    port.events.clear();
    engine.PreambleCount = 3;
    port.Answer(IdentResponse());
    ASSERT_TRUE(ReadIdent());
    const auto writes = port.EventsOf(PortEvent::Write);
    ASSERT_EQ(writes.size(), 1u);
    ASSERT_EQ(writes[0].bytes.size(), 15u);
    EXPECT_EQ(std::vector<uint8_t>(writes[0].bytes.begin(), writes[0].bytes.begin() + 4),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xCC}));
    EXPECT_EQ(port.TimeOf(PortEvent::Rts, 0) - writes[0].time, ByteTimes(15, 1200));
}

TEST_F(LineTest, FirstByteDeadlineCountsFromTheRtsDrop) {
    engine.BaudRate = 1200;  // 108 ms on the wire: an answer 1990 ms after the drop is
                             // later than 2000 ms after the write
    port.Answer(IdentResponse(), milliseconds(1990));
    EXPECT_TRUE(ReadIdent());

    port.Answer(IdentResponse(), milliseconds(2010));
    engine.Attempts = 1;
    port.events.clear();
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    const auto waited =
        port.EventsOf(PortEvent::Purge).back().time - port.TimeOf(PortEvent::Rts, 0);
    EXPECT_GT(waited, milliseconds(2000));
    EXPECT_LE(waited, milliseconds(2000) + nanoseconds(1));
}

TEST_F(LineTest, WriteWaitsSevenSecondsLongerAndTheTimeoutComesBack) {
    engine.Attempts = 1;
    port.Answer(ResponseFrame(0x9D, {}), milliseconds(8900));
    EXPECT_TRUE(WriteOneField());
    EXPECT_EQ(engine.FirstByteTimeout, 2000);

    port.Answer(IdentResponse(), milliseconds(8900));
    EXPECT_FALSE(ReadIdent());  // a read gets no extension
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    clock.now += std::chrono::seconds(10);  // the late answer is stale: the next purge drops it

    port.events.clear();
    EXPECT_FALSE(WriteOneField());  // silent device
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    EXPECT_GT(port.EventsOf(PortEvent::Purge).back().time - port.TimeOf(PortEvent::Rts, 0),
              milliseconds(9000));
    EXPECT_EQ(engine.FirstByteTimeout, 2000);

    port.failWrites = true;
    EXPECT_FALSE(WriteOneField());
    EXPECT_EQ(engine.ResultCode, ResultWriteFailed);
    EXPECT_EQ(engine.FirstByteTimeout, 2000);
}

TEST_F(LineTest, SilentDeviceGetsEveryAttemptWithoutPause) {
    engine.Attempts = 2;
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    EXPECT_EQ(port.EventsOf(PortEvent::Write).size(), 2u);
    EXPECT_EQ(port.EventsOf(PortEvent::Baud).size(), 2u);
    EXPECT_EQ(port.EventsOf(PortEvent::Rts).size(), 4u);
    // The second attempt starts the moment the first one has purged the line.
    EXPECT_EQ(port.EventsOf(PortEvent::Baud)[1].time, port.EventsOf(PortEvent::Purge)[1].time);

    port.events.clear();
    engine.Attempts = 0;  // still one attempt
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(port.EventsOf(PortEvent::Write).size(), 1u);

    port.events.clear();
    engine.Attempts = 3;
    port.Answer({});  // first attempt silent, second answered
    port.Answer(IdentResponse());
    EXPECT_TRUE(ReadIdent());
    EXPECT_EQ(port.EventsOf(PortEvent::Write).size(), 2u);
}

TEST_F(LineTest, FailedWriteEndsTheAttemptWithRtsStillUp) {
    port.failWrites = true;
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultWriteFailed);
    EXPECT_EQ(port.EventsOf(PortEvent::Write).size(), 2u);
    EXPECT_EQ(engine.LinkFailure, port.failCause);
    for (const auto& e : port.EventsOf(PortEvent::Rts)) {
        EXPECT_EQ(e.value, 1);
    }
}

TEST_F(LineTest, GapBetweenResponseBytesIsLimited) {
    engine.Attempts = 1;
    engine.NextByteTimeout = 10;
    port.Answer(IdentResponse(), milliseconds(5), milliseconds(10));
    EXPECT_TRUE(ReadIdent());
    port.Answer(IdentResponse(), milliseconds(5), milliseconds(11));
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultIncomplete);
}

TEST_F(LineTest, GuiRunsWhileTheResponseIsAwaitedAndThePanelShowsTheExchange) {
    engine.Attempts = 1;
    EXPECT_FALSE(ReadIdent());
    const LinkTime dropped = port.TimeOf(PortEvent::Rts, 0);
    LinkTime previous = dropped;
    size_t during = 0;
    for (LinkTime t : screen.pumps) {
        if (t >= dropped) {
            EXPECT_LE(t - previous, milliseconds(10));
            previous = t;
            ++during;
        }
    }
    EXPECT_GE(during, 200u);  // 2 s in steps of at most 10 ms
    const std::vector<std::pair<int, std::string>> panels = {{2, "Обмен..."}, {2, ""}};
    EXPECT_EQ(screen.panels, panels);

    screen.panels.clear();
    engine.StatusPanel = -1;
    EXPECT_FALSE(ReadIdent());
    EXPECT_TRUE(screen.panels.empty());
}

TEST_F(LineTest, NoPortMeansAFailedWriteNotACrash) {
    engine.Port = nullptr;
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultWriteFailed);
}

}  // namespace

namespace {

// A program with messages to run wakes every 10 ms of a silent wait; a terminal does not.
TEST_F(LineTest, OnlyAWindowWakesEveryTenMillisecondsOfAWait) {
    engine.FirstByteTimeout = 2000;
    engine.Attempts = 1;
    ASSERT_FALSE(ReadIdent());
    EXPECT_GE(screen.pumps.size(), 200u);
    screen.pumps.clear();
    engine.MaxPollWait = NoPollCap;
    ASSERT_FALSE(ReadIdent());
    EXPECT_LE(screen.pumps.size(), 5u);
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
}

// A call the port refuses ends the attempt before anything is sent, and the summary says
// which call and why; a line that has gone is a request not sent, as a failed write.
struct RefusedCall {
    PortEvent::Kind kind;
    const char* cause;
};
struct RefusedCallTest : LineTest, testing::WithParamInterface<RefusedCall> {};

TEST_P(RefusedCallTest, EndsTheAttemptWithItsCause) {
    engine.Attempts = 2;
    port.failing = {GetParam().kind};
    port.failCause = GetParam().cause;
    port.Answer(IdentResponse());
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultLinkFault);
    EXPECT_TRUE(port.EventsOf(PortEvent::Write).empty());
    EXPECT_EQ(engine.Fate, RequestFate::NotSent);
    EXPECT_EQ(engine.CommandSummary(), std::string("Команда 29.  Сбой связи: ") + GetParam().cause);
}

INSTANTIATE_TEST_SUITE_P(
    EachLineCall, RefusedCallTest,
    testing::Values(RefusedCall{PortEvent::Baud, "скорость 7680 бит/с не установлена"},
                    RefusedCall{PortEvent::Purge, "очистка буферов порта: Input/output error"},
                    RefusedCall{PortEvent::Dtr, "линия DTR не поднята"},
                    RefusedCall{PortEvent::Rts, "линия RTS не поднята"}));

// Over a network the converter drives the line: no RTS and no pause, the first byte is
// awaited for the request's line time, the round trip and the first-byte time-out, and the
// answer is judged whole however its bytes are spaced.
struct NetworkTest : LineTest {
    void SetUp() override {
        LineTest::SetUp();
        port.driver = LineDriver::Converter;
        port.roundTrip = milliseconds(40);
        engine.BaudRate = 9600;
        engine.Attempts = 1;
        engine.NextByteTimeout = 10;
        engine.FirstByteTimeout = 1000;
    }
};

TEST_F(NetworkTest, NoRtsAndAFirstByteWaitThatCoversTheRoundTrip) {
    port.Answer(IdentResponse());
    ASSERT_TRUE(ReadIdent());
    using K = PortEvent;
    const std::vector<PortEvent::Kind> expected = {K::Baud, K::Purge, K::Dtr, K::Write, K::Purge};
    EXPECT_EQ(Kinds(), expected);
    EXPECT_EQ(port.TimeOf(K::Write, 12), port.TimeOf(K::Dtr, 1));  // no RTS pause

    port.events.clear();
    EXPECT_FALSE(ReadIdent());  // silent: given up after line time + round trip + time-out
    const LinkTime written = port.TimeOf(K::Write, 12);
    const LinkTime last = screen.pumps.back();
    EXPECT_GT(last - written, ByteTimes(12, 9600) + milliseconds(40 + 1000) - milliseconds(11));
    EXPECT_LE(last - written, ByteTimes(12, 9600) + milliseconds(40 + 1000 + 1));
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
}

TEST_F(NetworkTest, SpacedBytesPassButAnAnswerThatStallsFails) {
    // Bytes 15 ms apart, beyond the 10 ms gap a serial line allows, the whole within the
    // network's margin.
    port.Answer(IdentResponse(), milliseconds(5), milliseconds(15));
    EXPECT_TRUE(ReadIdent());
    // An answer that stops after its first bytes: given up once the whole frame is overdue.
    std::vector<uint8_t> cut = IdentResponse();
    cut.resize(5);
    port.Answer(cut);
    EXPECT_FALSE(ReadIdent());
    EXPECT_EQ(engine.ResultCode, ResultIncomplete);
}

}  // namespace
