// The device connection over a scripted line: one operation at a time, and a stop that
// ends the operation under way at its next wait.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "connection/Deviceconnection.h"
#include "tests/support/Fakes.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A write accepted by the device: the echoed code with the header as data.
Bytes WriteAccepted(const Bytes& header) {
    return ResponseFrame(TableExchange | AcceptedBit, header);
}

struct DeviceTest : testing::Test {
    void SetUp() override {
        engine.Clock = &clock;
        engine.Ui = &screen;
        settings.ExchangeAttempts = 1;
        // The connection owns a pass-through; the line stays the test's after a close.
        ASSERT_TRUE(device.Open(settings, std::make_unique<TappedPort>(line)));
        port = &line;
    }
    std::vector<Bytes> Frames() const {
        std::vector<Bytes> frames;
        for (const PortEvent& e : port->EventsOf(PortEvent::Write)) {
            frames.push_back(e.bytes);
        }
        return frames;
    }

    FakeClock clock;
    ScriptedPort line{clock};
    RecordingScreen screen{clock};
    LinkEngine engine{0};
    ConfigImage image;
    ConnectionSettings settings;
    DeviceConnection device{engine, image, settings, screen};
    ScriptedPort* port = nullptr;
};

// Every operation the programs start, run against a device that stays silent.
struct Operation {
    const char* name;
    std::function<bool(DeviceConnection&, ConfigImage&)> run;
};

void PrintTo(const Operation& operation, std::ostream* out) {
    *out << operation.name;
}

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> operations = {
        {"ident", [](DeviceConnection& d, ConfigImage&) { return d.ReadIdent(); }},
        {"state",
         [](DeviceConnection& d, ConfigImage&) {
             TableStateSet set{};
             return d.ReadTableState(set);
         }},
        {"read", [](DeviceConnection& d, ConfigImage&) { return d.ReadConfiguration(); }},
        {"masks", [](DeviceConnection& d, ConfigImage&) { return d.ReadRateMask(); }},
        {"changes",
         [](DeviceConnection& d, ConfigImage& image) {
             const ConfigImage snapshot = image;
             image.Bytes[ModemTableOffset] ^= 1;
             return d.WriteChanges(snapshot) == WriteOutcome::Written;
         }},
        {"tables",
         [](DeviceConnection& d, ConfigImage&) {
             std::array<uint8_t, TableCount> marks{};
             marks[ModemTable.Number] = 1;
             return d.WriteTables(marks);
         }},
        {"search", [](DeviceConnection& d, ConfigImage&) { return d.SearchRate({}) > 0; }},
        {"connect", [](DeviceConnection& d, ConfigImage&) { return d.Connect(); }},
    };
    return operations;
}

struct EveryOperation : DeviceTest, testing::WithParamInterface<Operation> {};

// A close while the first frame waits for its answer: the operation ends with result 19,
// asks and tells nothing, sends nothing more, and nothing starts after it.
TEST_P(EveryOperation, StopEndsItAtTheNextWaitAndNothingFollows) {
    screen.answers = {true, true, true};  // a retry question would be answered Да
    LinkTime stopped{};
    screen.onPump = [&] {
        if (!Frames().empty() && !device.StopRequested()) {
            stopped = clock.Now();
            device.RequestStop();
        }
    };
    EXPECT_FALSE(GetParam().run(device, image));
    EXPECT_EQ(engine.ResultCode, ResultStopped);
    // Not the first-byte time-out of two seconds: the next poll.
    EXPECT_LE(clock.Now() - stopped, std::chrono::milliseconds(20));
    EXPECT_TRUE(screen.messages.empty()) << screen.messages.front().first;
    EXPECT_EQ(Frames().size(), 1u);
    EXPECT_FALSE(device.Busy());
    for (const Operation& other : Operations()) {
        EXPECT_FALSE(other.run(device, image)) << other.name;
    }
    EXPECT_EQ(Frames().size(), 1u);
}

// Прервать ends the operation under way as a close does, but only that one: the next
// operation runs. A write cut short still says what became of its request.
TEST_P(EveryOperation, AbortEndsOnlyThatOperation) {
    screen.answers = {true, true, true};
    bool aborted = false;
    screen.onPump = [&] {
        if (!Frames().empty() && !aborted) {
            aborted = true;
            device.AbortOperation();
        }
    };
    const std::string name = GetParam().name;
    EXPECT_FALSE(GetParam().run(device, image));
    EXPECT_EQ(engine.ResultCode, ResultStopped);
    EXPECT_TRUE(device.Aborted());
    EXPECT_FALSE(device.StopRequested());
    EXPECT_EQ(Frames().size(), 1u);
    const bool write = name == "changes" || name == "tables";
    ASSERT_EQ(screen.messages.size(), write ? 1u : 0u);
    if (write) {
        EXPECT_EQ(screen.messages[0].first, WriteInterruptedText);
    }
    if (name == "connect") {
        return;  // a connection that failed lets the port go
    }
    screen.onPump = {};
    port->Answer(IdentResponse());
    EXPECT_TRUE(device.ReadIdent());
    EXPECT_FALSE(device.Aborted());
}

// Whatever the window system delivers inside an exchange, no second operation runs: the
// answer is the first one's, and its retry sends its own frame again byte for byte.
TEST_F(DeviceTest, NoOperationRunsInsideAnother) {
    port->Answer({});  // the first attempt meets silence
    port->Answer(WriteAccepted({0, 0, 0, ModemTable.Number, 0, 1}));
    port->Answer(IdentResponse());
    screen.answers = {true};
    std::vector<std::string> entered;
    screen.onPump = [&] {
        if (Frames().size() != 1) {
            return;
        }
        for (const Operation& other : Operations()) {
            if (other.run(device, image)) {
                entered.push_back(other.name);
            }
        }
    };
    std::array<uint8_t, TableCount> marks{};
    marks[ModemTable.Number] = 1;
    image.Bytes[ModemTableOffset] = 'A';
    ASSERT_TRUE(device.WriteTables(marks, LinkTable.FieldCount, false));
    EXPECT_TRUE(entered.empty()) << entered.front();
    const std::vector<Bytes> frames = Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(frames[1][9], 1);  // the write of table 5, field count 1
    EXPECT_EQ(frames[2][4], IdentTable.Number);
    EXPECT_FALSE(device.Busy());
}

INSTANTIATE_TEST_SUITE_P(Device, EveryOperation, testing::ValuesIn(Operations()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceTest, AShellCommandKeepsItBusyAndAClosedPortRefusesEverything) {
    {
        DeviceConnection::Command command(device);
        EXPECT_TRUE(device.Busy());
    }
    EXPECT_FALSE(device.Busy());
    device.Close();
    EXPECT_EQ(device.Port(), nullptr);
    EXPECT_EQ(engine.Port, nullptr);
    EXPECT_FALSE(device.Connect());
    EXPECT_FALSE(device.ReadIdent());
}

// Values a settings file may hold that no dialog would take never reach the engine.
TEST_F(DeviceTest, OutOfRangeValuesAreRefusedBeforeTheEngine) {
    for (const LinkValueLimit& limit : LinkValueLimits) {
        for (const int64_t number : {int64_t{limit.Lowest} - 1, int64_t{limit.Highest} + 1}) {
            ConnectionSettings bad = settings;
            bad.LinkType = 1;
            SetLinkValue(bad, limit.Value, static_cast<int32_t>(number));
            if (LinkValueIn(bad, limit.Value) != number) {
                continue;  // a byte field cannot hold it
            }
            engine.NextByteTimeout = -7;
            screen.messages.clear();
            EXPECT_FALSE(device.Open(bad, std::make_unique<TappedPort>(line))) << limit.Option;
            EXPECT_EQ(engine.NextByteTimeout, -7) << limit.Option;
            ASSERT_EQ(screen.messages.size(), 1u);
            EXPECT_EQ(screen.messages[0],
                      (RecordingScreen::Message{MessageInputError, limit.Caption, OutOfRangeText}));
        }
    }
}

}  // namespace
