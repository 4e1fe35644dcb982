// The modem dialogue against zantir-sim's modem over a pty.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "connection/Connectmodem.h"
#include "link/Plcbox.h"
#include "tests/support/Fakes.h"
#include "tests/support/SimProcess.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Escape is pressed once the screen has pumped messages this many times.
class EscapeAfter final : public Screen {
public:
    explicit EscapeAfter(int pumps) : left_(pumps) {}
    void SetPanelText(int, const std::string&) override {}
    void ProcessMessages() override { --left_; }
    void SetProgressMaximum(int) override {}
    void StepProgress() override {}
    void FillProgress() override {}
    bool ShowMessage(int, const std::string&, const std::string&) override { return false; }
    bool EscapePressed() override { return left_ <= 0; }

private:
    int left_;
};

struct ModemLineTest : testing::Test {
    void SetUp() override {
        char pattern[] = "/tmp/zantir-modem-XXXXXX";
        directory = mkdtemp(pattern);
    }
    void TearDown() override {
        tap.reset();
        port.reset();
        sim.reset();
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    void Start(std::vector<std::string> options) {
        sim = std::make_unique<SimProcess>(directory, std::move(options));
        ASSERT_TRUE(sim->ok());
        LineSettings settings;
        settings.BaudRate = 9600;
        port = OpenComPortAt(sim->LinkPath(), settings);
        ASSERT_TRUE(port);
        tap = std::make_unique<TappedPort>(*port);
        line = std::make_unique<ModemLine>(ModemLine{tap.get(), screen, SystemClock()});
    }
    int Dial(const std::string& setup = "", int attempts = 1, int wait = 5) {
        return ModemDial(*line, "1 (234) 567-89-01", setup, OperationPanelForTest, attempts, wait);
    }

    static constexpr int OperationPanelForTest = 1;
    fs::path directory;
    std::unique_ptr<SimProcess> sim;
    TransportHandle port;
    std::unique_ptr<TappedPort> tap;
    RecordingScreen screen{SystemClock()};
    std::unique_ptr<ModemLine> line;
};

TEST_F(ModemLineTest, ResetAnsweredAtOnceSendsNoEscape) {
    Start({"--modem"});
    EXPECT_EQ(ModemReset(*line), ModemOk);
    EXPECT_EQ(tap->sent, "ath\r");
}

TEST_F(ModemLineTest, CallCarriesTableExchangesAndHangsUp) {
    Start({"--modem"});
    ASSERT_EQ(Dial("AT&F^ATX3"), ModemOk);
    EXPECT_EQ(tap->sent, "ath\rATE0V1\rAT&F\rATX3\rATD12345678901\r");
    const auto texts = screen.PanelTexts(OperationPanelForTest);
    EXPECT_NE(
        std::find(texts.begin(), texts.end(), "Установление связи по телефону:  ATD12345678901"),
        texts.end());
    EXPECT_EQ(texts.back(), "Установление связи по телефону:  CONNECT 9600");

    LinkEngine engine(0);
    engine.Port = port.get();
    engine.BaudRate = 9600;
    engine.Attempts = 1;
    engine.FirstByteTimeout = 1000;
    const std::vector<uint8_t> ident = {0, 0, 17, 0, 0, 0};
    ASSERT_TRUE(engine.ExecuteCommand(TableExchange, ident.data(), ident.size()))
        << engine.CommandSummary();

    ModemHangUp(*line);
    EXPECT_FALSE(engine.ExecuteCommand(TableExchange, ident.data(), ident.size()));
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
}

TEST_F(ModemLineTest, BusyRunsEveryAttemptInFull) {
    Start({"--modem", "--dial-result", "BUSY"});
    EXPECT_EQ(Dial("AT&F", 3), ModemBusy);
    EXPECT_EQ(Count(tap->sent, "ath\r"), 1);
    EXPECT_EQ(Count(tap->sent, "ATE0V1\r"), 3);
    EXPECT_EQ(Count(tap->sent, "AT&F\r"), 3);
    EXPECT_EQ(Count(tap->sent, "ATD12345678901\r"), 3);
}

TEST_F(ModemLineTest, DialAndSetUpOutcomes) {
    Start({"--modem", "--dial-result", "NO DIALTONE"});
    EXPECT_EQ(Dial(), ModemNoDialTone);
    Start({"--modem"});
    EXPECT_EQ(Dial("AT!"), ModemError);  // a command the modem does not know
    EXPECT_EQ(tap->sent.find("ATD"), std::string::npos);
    Start({"--modem"});
    EXPECT_EQ(Dial("ATI"), ModemNotConnected);  // answered with a line that is no OK
    Start({"--modem", "--dial-result", "silence"});
    EXPECT_EQ(Dial("", 1, 1), ModemTimeout);
}

TEST_F(ModemLineTest, NoModemOnTheLineIsSaidAfterTheFirstWait) {
    Start({});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Dial(), ModemMissing);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(5000));
    EXPECT_EQ(tap->sent, "ath\r");
}

TEST_F(ModemLineTest, NumericAcknowledgementIsWholeAtItsFourthByte) {
    Start({"--modem"});
    std::string reply;
    ASSERT_EQ(ModemExchange(*line, "ATV0\r", reply, 2000), ModemOk);
    // Echo is still on: the echoed CR opens the reply, CR LF follows.
    ASSERT_EQ(ModemExchange(*line, "ATE0\r", reply, 2000), ModemOk);
    ASSERT_EQ(ModemExchange(*line, "AT\r", reply, 2000), ModemOk);
    EXPECT_EQ(reply, "\r\n0\r");
}

TEST_F(ModemLineTest, EscapeEndsTheWaitAtOnce) {
    Start({"--modem", "--dial-result", "silence"});
    EscapeAfter escape(20);
    ModemLine pressed{tap.get(), escape, SystemClock()};
    std::string reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ModemExchange(pressed, "ATD1\r", reply, 50000), ModemCancelled);
    EXPECT_EQ(reply, "Escape...");
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1000));
}

}  // namespace
