// zantir-sim as its own process on a pty, driven through the program's own link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/wait.h>

#include <cstdlib>

#include "link/Linerate.h"
#include "link/Plcbox.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/SimProcess.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

struct SimLineTest : testing::Test {
    void SetUp() override {
        char pattern[] = "/tmp/zantir-sim-test-XXXXXX";
        directory = mkdtemp(pattern);
    }
    void TearDown() override {
        engine.Port = nullptr;
        port.reset();
        sim.reset();
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    // Starts the simulator and opens the line to it at rate.
    void Start(std::vector<std::string> options, int32_t rate = 9600) {
        sim = std::make_unique<SimProcess>(directory, std::move(options));
        ASSERT_TRUE(sim->ok());
        LineSettings settings;
        settings.BaudRate = rate;
        port = OpenComPortAt(sim->LinkPath(), settings);
        ASSERT_TRUE(port);
        engine.Port = port.get();
        engine.BaudRate = rate;
        engine.FirstByteTimeout = 600;
        engine.NextByteTimeout = 50;
        engine.Attempts = 1;
    }
    bool Read(uint8_t table, uint8_t first, uint8_t count) {
        const Bytes header = {table, first, count, 0, 0, 0};
        return engine.ExecuteCommand(TableExchange, header.data(), header.size());
    }
    bool Write(uint8_t table, uint8_t first, uint8_t count, const Bytes& values) {
        Bytes data = {0, 0, 0, table, first, count};
        data.insert(data.end(), values.begin(), values.end());
        return engine.ExecuteCommand(TableExchange, data.data(), data.size());
    }
    Bytes Values(size_t count) const {
        return {engine.ResponseBuffer.begin() + ResponseValuesOffset,
                engine.ResponseBuffer.begin() + ResponseValuesOffset + static_cast<long>(count)};
    }
    // Sends a modem command and collects what comes back for a while.
    std::string Say(const std::string& text, milliseconds listen = milliseconds(800)) {
        if (!text.empty()) {
            EXPECT_TRUE(port->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                    milliseconds(1000)));
        }
        std::string reply;
        const auto until = std::chrono::steady_clock::now() + listen;
        uint8_t byte;
        while (std::chrono::steady_clock::now() < until) {
            if (port->ReadByte(byte, milliseconds(10)) == ReadStatus::Byte) {
                reply += static_cast<char>(byte);
            }
        }
        return reply;
    }

    fs::path directory;
    std::unique_ptr<SimProcess> sim;
    TransportHandle port;
    LinkEngine engine{0};
};

TEST_F(SimLineTest, EveryTableReadsAndAWriteReadsBack) {
    Start({"--type", "7", "--version", "6", "--masks", "000FFC,3FFFFF"});
    ASSERT_TRUE(Read(0, 0, 17)) << engine.CommandSummary();
    EXPECT_EQ(engine.ResponseBuffer[ResponseValuesOffset + 1], 7);
    EXPECT_EQ(engine.ResponseBuffer[ResponseValuesOffset + 3], 6);
    ASSERT_TRUE(Read(1, 0, 2));
    EXPECT_EQ(Values(4), (Bytes{0xFC, 0x0F, 0, 0}));
    ASSERT_TRUE(Read(3, 0, 8));
    EXPECT_EQ(Values(1), Bytes{11});
    ASSERT_TRUE(Read(5, 0, 1));
    ASSERT_TRUE(Read(6, 0, 130));
    ASSERT_TRUE(Read(6, 130, 125));
    ASSERT_TRUE(Read(7, 0, 8));
    EXPECT_EQ(Values(8), Bytes(8, 0));

    Bytes entries(243);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i] = static_cast<uint8_t>((i % 4) << 5 | (i % 22));
    }
    ASSERT_TRUE(Write(6, 0, 243, entries)) << engine.CommandSummary();
    ASSERT_TRUE(Read(6, 0, 130));
    EXPECT_EQ(Values(130), Bytes(entries.begin(), entries.begin() + 130));
    ASSERT_TRUE(Read(6, 130, 125));
    EXPECT_EQ(Values(113), Bytes(entries.begin() + 130, entries.end()));

    EXPECT_FALSE(Read(2, 0, 1));
    EXPECT_EQ(engine.CommandSummary(), "Команда 29.  Нет такой таблицы");
}

TEST_F(SimLineTest, EachFaultGivesTheResultTheLinkMustReport) {
    struct Case {
        const char* fault;
        int32_t result;
    };
    const Case cases[] = {
        {"silent@1", ResultNoAnswer}, {"noise@1", ResultOk},          {"badcrc@1", ResultCheckSum},
        {"gap@1", ResultIncomplete},  {"refuse:13@1", ResultRefused}, {"refuse:24@1", ResultValve},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Start({"--fault", c.fault});
        EXPECT_EQ(Read(0, 0, 17), c.result == ResultOk);
        EXPECT_EQ(engine.ResultCode, c.result);
        EXPECT_TRUE(Read(0, 0, 17)) << "the fault lasts one request only";
    }

    Start({"--fault", "echo@1"});
    ASSERT_TRUE(Read(5, 0, 1));
    EXPECT_NE(engine.ResponseBuffer[4], 5);  // the table operations must catch this
    ASSERT_TRUE(Read(5, 0, 1));
    EXPECT_EQ(engine.ResponseBuffer[4], 5);

    Start({"--fault", "refuse:60"});
    EXPECT_FALSE(Read(6, 0, 130));
    EXPECT_EQ(engine.CommandSummary(), "Команда 29.  Разрушена таблица 6");
}

TEST_F(SimLineTest, AnswersOnlyAtItsRateAndFollowsANewRateInTableThree) {
    Start({"--rate", "9600"}, 1200);
    EXPECT_FALSE(Read(0, 0, 17));
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    engine.BaudRate = 9600;
    ASSERT_TRUE(Read(3, 0, 8));
    Bytes table3 = Values(8);
    table3[0] = 15;  // 19200 bit/s
    ASSERT_TRUE(Write(3, 0, 8, table3));
    EXPECT_FALSE(Read(0, 0, 17));
    engine.BaudRate = 19200;
    EXPECT_TRUE(Read(0, 0, 17)) << engine.CommandSummary();
}

TEST_F(SimLineTest, DestroyedTableIsReportedUntilItIsWritten) {
    Start({"--destroyed", "5"});
    ASSERT_TRUE(Read(0, 0, 17));
    EXPECT_EQ(engine.ResponseBuffer[ResponseValuesOffset], 5);
    ASSERT_TRUE(Read(7, 0, 8));
    EXPECT_EQ(Values(8), (Bytes{0, 0, 0, 0, 0, 1, 0, 0}));
    Bytes modem(64, 0);
    modem[0] = 'A';
    modem[1] = 'T';
    modem[2] = '\r';
    ASSERT_TRUE(Write(5, 0, 1, modem));
    ASSERT_TRUE(Read(0, 0, 17));
    EXPECT_EQ(engine.ResponseBuffer[ResponseValuesOffset], 0);
    ASSERT_TRUE(Read(7, 0, 8));
    EXPECT_EQ(Values(8), Bytes(8, 0));
}

TEST_F(SimLineTest, StateSurvivesARestart) {
    const std::string state = (directory / "device.state").string();
    Start({"--state", state});
    ASSERT_TRUE(Write(6, 42, 1, {0x6F}));
    engine.Port = nullptr;
    port.reset();
    sim.reset();
    ASSERT_TRUE(fs::exists(state));

    Start({"--state", state, "--log"});
    ASSERT_TRUE(Read(6, 0, 130));
    EXPECT_EQ(engine.ResponseBuffer[ResponseValuesOffset + 42], 0x6F);
    const std::string log = sim->Stop();
    EXPECT_NE(log.find("<- CC 00 0C 1D 06 00 82"), std::string::npos) << log;
    EXPECT_NE(log.find("-> FF FF FF 33 00"), std::string::npos) << log;
}

TEST_F(SimLineTest, ModemDialsCarriesTheCallAndHangsUp) {
    Start({"--modem", "--phone", "12345678901", "--log"});
    EXPECT_NE(Say("ath\r").find("OK"), std::string::npos);
    EXPECT_EQ(Say("ATE0V1\r"), "ATE0V1\r\r\nOK\r\n");
    EXPECT_FALSE(Read(0, 0, 17));  // no call yet: the device is out of reach
    EXPECT_EQ(Say("ATD999\r"), "\r\nNO ANSWER\r\n");
    EXPECT_EQ(Say("ATD12345678901\r"), "\r\nCONNECT 9600\r\n");
    ASSERT_TRUE(Read(0, 0, 17)) << engine.CommandSummary();
    std::this_thread::sleep_for(milliseconds(1100));
    EXPECT_EQ(Say("+++", milliseconds(1500)), "\r\nOK\r\n");
    EXPECT_EQ(Say("ath\r"), "\r\nOK\r\n");
    EXPECT_FALSE(Read(0, 0, 17));
    const std::string log = sim->Stop();
    EXPECT_NE(log.find("modem <- ATD12345678901"), std::string::npos) << log;
}

TEST_F(SimLineTest, DialResultsAsToldAndNoModemNoAnswer) {
    Start({"--modem", "--dial-result", "BUSY"});
    Say("ATE0V1\r");
    EXPECT_EQ(Say("ATD1\r"), "\r\nBUSY\r\n");
    Start({});
    EXPECT_EQ(Say("ath\r", milliseconds(500)), "");
}

TEST_F(SimLineTest, LatencyDelaysEveryAnswer) {
    Start({"--latency", "300"});
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Read(0, 0, 17));
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
}

// The far side of a real tty: frames written and read by hand.
Bytes Exchange(int fd, const Bytes& data) {
    Bytes frame(MaxFrameLength);
    frame.resize(
        BuildFrame(RequestStart, 0, TableExchange, data.data(), data.size(), frame.data()));
    EXPECT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    Bytes answer;
    uint8_t buffer[256];
    pollfd pfd{fd, POLLIN, 0};
    while (poll(&pfd, 1, 1000) > 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        answer.insert(answer.end(), buffer, buffer + n);
        while (!answer.empty() && answer.front() == PreambleByte) {
            answer.erase(answer.begin());
        }
        if (answer.size() > 2 && answer.size() >= answer[2]) {
            break;
        }
    }
    return answer;
}

TEST_F(SimLineTest, ServesARealTtyAndMovesItsOwnRate) {
    PtyPeer line;
    ASSERT_TRUE(line.ok());
    SimProcess device = SimProcess::OnTty(directory.string(), line.SlavePath(), {"--rate", "4800"});
    ASSERT_TRUE(device.ok());
    for (int i = 0; i < 200 && GetLineRate(line.MasterFd()) != 4800; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    ASSERT_EQ(GetLineRate(line.MasterFd()), 4800);
    const Bytes ident = Exchange(line.MasterFd(), {0, 0, 17, 0, 0, 0});
    ASSERT_EQ(ident.size(), 26u);
    EXPECT_EQ(ident[3], 0x9D);
    const Bytes written = Exchange(line.MasterFd(), {0, 0, 0, 3, 0, 1, 18});  // 38400 bit/s
    ASSERT_EQ(written.size(), 6u);
    for (int i = 0; i < 200 && GetLineRate(line.MasterFd()) != 38400; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(GetLineRate(line.MasterFd()), 38400);
}

TEST(SimCommandLine, HelpAndRefusedOptions) {
    const std::string sim = SimExecutable();
    auto run = [](const std::string& command) {
        const int status = std::system((command + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(sim + " --help | grep -q -- '--fault KIND'"), 0);
    EXPECT_EQ(run(sim + " --help"), 0);
    EXPECT_EQ(run(sim), 2);
    EXPECT_EQ(run(sim + " --link /tmp/zantir-never --rate fast"), 2);
    EXPECT_EQ(run(sim + " --link /tmp/zantir-never --fault loud"), 2);
    EXPECT_EQ(run(sim + " --link /tmp/zantir-never --destroyed 9"), 2);
    EXPECT_EQ(run(sim + " --link /tmp/zantir-never --dial-result MAYBE"), 2);
    EXPECT_EQ(run(sim + " --tty /etc/hostname"), 2);
}

}  // namespace
