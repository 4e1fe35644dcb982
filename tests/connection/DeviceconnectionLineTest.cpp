// The device connection on a real pty whose far side goes away: the adapter pulled in
// the middle of a read, then plugged in again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "connection/Deviceconnection.h"
#include "link/Programdir.h"
#include "tests/support/Fakes.h"
#include "tests/support/SimProcess.h"

namespace {

namespace fs = std::filesystem;

struct PulledAdapter : testing::Test {
    void SetUp() override {
        char pattern[] = "/tmp/zantir-pulled-XXXXXX";
        directory = mkdtemp(pattern);
        fs::create_directory(directory / "PORTS");
        SetProgramDirectory(directory.string());
        engine.Ui = &screen;
        settings.BaudRate = 9600;
        settings.PortNumber = 1;
        settings.FirstByteTimeout = 1;
        settings.ExchangeAttempts = 2;
    }
    void TearDown() override {
        device.Close();
        sim.reset();
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    // The adapter plugged in: COM1's link leads to a fresh simulator.
    void PlugIn(std::vector<std::string> options = {}) {
        std::error_code ignored;
        fs::remove(directory / "PORTS" / "COM1", ignored);
        sim = std::make_unique<SimProcess>((directory / "PORTS").string(), std::move(options));
        ASSERT_TRUE(sim->ok());
    }

    fs::path directory;
    std::unique_ptr<SimProcess> sim;
    LinkEngine engine{0};
    ConfigImage image;
    ConnectionSettings settings;
    RecordingScreen screen{SystemClock()};
    DeviceConnection device{engine, image, settings, screen};
};

TEST_F(PulledAdapter, ReadEndsWithItsResultAndTheNextConnectWorks) {
    PlugIn({"--latency", "300"});  // slow answers: the pull lands inside the read
    ASSERT_TRUE(device.Open(settings));
    ASSERT_TRUE(device.Connect());
    const size_t before = screen.messages.size();
    std::thread pull([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        sim->Stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device.ReadConfiguration());
    pull.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // No retry over a line that has hung up: the outcome, nothing more.
    ASSERT_EQ(screen.messages.size(), before + 1);
    EXPECT_EQ(screen.messages[before].first, "Параметры конфигурации не прочитаны");
    EXPECT_NE(engine.ResultCode, ResultOk);
    // The dead handle is let go: the adapter comes back under its old name. The loss is
    // on the status bar, and the tables not read are the last ones of the read.
    EXPECT_EQ(device.Port(), nullptr);
    EXPECT_EQ(engine.Port, nullptr);
    EXPECT_TRUE(device.LinkLost());
    EXPECT_EQ(screen.PanelTexts(ConnectionPanel).back(), " COM1,   нет связи");
    EXPECT_EQ(screen.PanelTexts(OperationPanel).back(), LinkLostText);
    const std::vector<int> order = {0, 3, 5, 6, 1};
    const std::vector<int>& unread = device.UnreadTables();
    ASSERT_FALSE(unread.empty());
    EXPECT_TRUE(std::equal(unread.rbegin(), unread.rend(), order.rbegin()));

    PlugIn();
    ASSERT_TRUE(device.Open(settings));
    EXPECT_FALSE(device.LinkLost());
    EXPECT_TRUE(device.Connect());
    EXPECT_TRUE(device.ReadConfiguration());
    EXPECT_TRUE(device.UnreadTables().empty());
}

}  // namespace
