// The device connection on a real pty whose far side goes away: the adapter pulled in
// the middle of a read, then plugged in again.
#include <gtest/gtest.h>
#include <unistd.h>

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
    // The usual retry question (answered no), then the outcome; nothing more.
    ASSERT_EQ(screen.messages.size(), before + 2);
    EXPECT_EQ(screen.messages[before].first.rfind("Не выполнено чтение из таблицы", 0), 0u);
    EXPECT_EQ(screen.messages[before + 1].first, "Параметры конфигурации не прочитаны");
    EXPECT_NE(engine.ResultCode, ResultOk);
    // The dead handle is let go: the adapter comes back under its old name.
    EXPECT_EQ(device.Port(), nullptr);
    EXPECT_EQ(engine.Port, nullptr);

    PlugIn();
    ASSERT_TRUE(device.Open(settings));
    EXPECT_TRUE(device.Connect());
    EXPECT_TRUE(device.ReadConfiguration());
}

}  // namespace
