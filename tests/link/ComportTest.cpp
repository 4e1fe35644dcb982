#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/Baudrates.h"
#include "link/Comportfunctions.h"
#include "link/Linerate.h"
#include "link/Programdir.h"
#include "tests/support/PtyPeer.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

size_t OpenDescriptors() {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

LineSettings At(int32_t rate) {
    LineSettings settings;
    settings.BaudRate = rate;
    return settings;
}

struct TempDir {
    TempDir() {
        char pattern[] = "/tmp/zantir-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

TEST(LineSettingsLimits, RateSizeParityAndStopBitsFallBack) {
    EXPECT_EQ(LimitBaudRate(100), 110);
    EXPECT_EQ(LimitBaudRate(-5), 110);
    EXPECT_EQ(LimitBaudRate(256000), 256000);
    EXPECT_EQ(LimitBaudRate(300000), 256000);
    EXPECT_EQ(LimitBaudRate(255999), 255999);

    LineSettings s;
    s.ByteSize = 9;
    s.Parity = 3;
    s.StopBits = 5;
    s = NormaliseLineSettings(s);
    EXPECT_EQ(s.ByteSize, 8);
    EXPECT_EQ(s.Parity, 0);
    EXPECT_EQ(s.StopBits, 0);
    s.ByteSize = 3;
    s.Parity = 2;
    s.StopBits = 2;
    s = NormaliseLineSettings(s);
    EXPECT_EQ(s.ByteSize, 4);
    EXPECT_EQ(s.Parity, 2);
    EXPECT_EQ(s.StopBits, 2);
}

TEST(ComPortOnPty, EveryDeviceRateIsReallyOnTheLine) {
    PtyPeer peer;
    auto port = OpenComPortAt(peer.SlavePath(), At(9600));
    ASSERT_TRUE(port);
    for (int32_t rate : BaudRates) {
        SCOPED_TRACE(rate);
        EXPECT_TRUE(port->SetRate(rate));
        EXPECT_EQ(GetLineRate(peer.MasterFd()), rate);
    }
}

TEST(ComPortOnPty, OpenAppliesTheRateLimits) {
    PtyPeer peer;
    for (auto [asked, expected] : {std::pair{100, 110}, {300000, 256000}, {255999, 255999}}) {
        auto port = OpenComPortAt(peer.SlavePath(), At(asked));
        ASSERT_TRUE(port);
        EXPECT_EQ(GetLineRate(peer.MasterFd()), expected);
    }
}

TEST(ComPortOnPty, MissingOrWrongPortGivesNullAndLeavesNothingOpen) {
    const size_t before = OpenDescriptors();
    EXPECT_FALSE(OpenComPortAt("/dev/zantir-no-such-port", At(9600)));
    EXPECT_FALSE(OpenComPortAt("/etc/hostname", At(9600)));  // not a tty
    EXPECT_FALSE(OpenComPort(0, 9600, 8, 0, 0, 1000, 1000, true, false));
    EXPECT_EQ(OpenDescriptors(), before);

    PtyPeer peer;
    const size_t withPeer = OpenDescriptors();
    EXPECT_FALSE(OpenComPortAt(peer.SlavePath(), [] {
        LineSettings s;
        s.ByteSize = 4;  // no tty has 4-bit bytes
        return s;
    }()));
    EXPECT_EQ(OpenDescriptors(), withPeer);
}

TEST(ComPortOnPty, SecondOpenOfTheSameLineIsRefused) {
    PtyPeer peer;
    auto first = OpenComPortAt(peer.SlavePath(), At(9600));
    ASSERT_TRUE(first);
    EXPECT_FALSE(OpenComPortAt(peer.SlavePath(), At(9600)));
    first.reset();
    EXPECT_TRUE(OpenComPortAt(peer.SlavePath(), At(9600)));
}

TEST(ComPortOnPty, ComNIsFoundBesideTheProgramElseAmongTheSerialPorts) {
    TempDir dir;
    fs::create_directory(dir.path / "PORTS");  // before the folders are decided
    SetProgramDirectory(dir.path.string());
    EXPECT_EQ(ComPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(ComPortPath(8), "/dev/ttyS7");
    EXPECT_EQ(ComPortPath(0), "");

    PtyPeer peer;
    fs::create_symlink(peer.SlavePath(), dir.path / "PORTS" / "COM3");
    EXPECT_EQ(ComPortPath(3), (dir.path / "PORTS" / "COM3").string());
    EXPECT_EQ(ComPortPath(2), "/dev/ttyS1");
    auto port = OpenComPort(3, 7680, 8, 0, 0, 1000, 1000, true, false);
    ASSERT_TRUE(port);
    EXPECT_EQ(GetLineRate(peer.MasterFd()), 7680);
    const uint8_t byte = 0x5A;
    ASSERT_TRUE(port->Write(&byte, 1, milliseconds(100)));
    uint8_t received = 0;
    EXPECT_EQ(read(peer.MasterFd(), &received, 1), 1);
    EXPECT_EQ(received, 0x5A);
}

TEST(ComPortOnPty, ReadsAndWritesAsTheTransceiverUsesThem) {
    PtyPeer peer;
    auto port = OpenComPortAt(peer.SlavePath(), At(9600));
    ASSERT_TRUE(port);
    uint8_t byte = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port->ReadByte(byte, std::chrono::nanoseconds(0)), ReadStatus::None);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5));

    std::thread later([&peer] {
        std::this_thread::sleep_for(milliseconds(30));
        const uint8_t b = 0xA5;
        EXPECT_EQ(write(peer.MasterFd(), &b, 1), 1);
    });
    EXPECT_EQ(port->ReadByte(byte, milliseconds(2000)), ReadStatus::Byte);
    later.join();
    EXPECT_EQ(byte, 0xA5);

    const uint8_t frame[16] = {0xFF, 0xCC, 1, 2, 3};
    EXPECT_TRUE(port->Write(frame, sizeof frame, milliseconds(850)));
    EXPECT_TRUE(port->Flush());
    EXPECT_TRUE(port->SetDtr(true));  // a pty has no modem lines: not an error
    EXPECT_TRUE(port->SetRts(false));
    EXPECT_TRUE(port->Drain());
}

// A line that takes nothing (its far end reads nothing) fails a write at its limit, and
// says so; a line that has gone says that.
TEST(ComPortOnPty, FailuresCarryTheirCause) {
    auto peer = std::make_unique<PtyPeer>();
    auto port = OpenComPortAt(peer->SlavePath(), At(9600));
    ASSERT_TRUE(port);
    const std::vector<uint8_t> lots(1 << 20, 0x55);
    const LinkStatus stuck = port->Write(lots.data(), lots.size(), milliseconds(100));
    EXPECT_FALSE(stuck);
    EXPECT_EQ(stuck.Cause(), WriteTimeoutText);

    peer.reset();  // the far side closes: the line hangs up
    uint8_t byte = 0;
    EXPECT_EQ(port->ReadByte(byte, milliseconds(100)), ReadStatus::Failed);
    EXPECT_TRUE(port->LineLost());
    EXPECT_EQ(port->ReadFailure(), LineGoneText);
    const uint8_t one = 1;
    EXPECT_EQ(port->Write(&one, 1, milliseconds(100)).Cause(), LineGoneText);
}

TEST(ContainsText, FindsRunsAnywhereAndNothingInEmptyText) {
    EXPECT_TRUE(ContainsText("CONNECT 9600", "CONNECT"));
    EXPECT_TRUE(ContainsText("\r\nNO CARRIER\r\n", "R\r\n"));
    EXPECT_TRUE(ContainsText("ATZ\r\nOK", "OK"));
    EXPECT_TRUE(ContainsText("xOKx", ""));
    EXPECT_FALSE(ContainsText("", ""));
    EXPECT_FALSE(ContainsText("", "OK"));
    EXPECT_FALSE(ContainsText("OK", "OKAY"));
    EXPECT_FALSE(ContainsText("ok", "OK"));
    EXPECT_FALSE(ContainsText("OOK", "OKK"));
    EXPECT_FALSE(ContainsText(nullptr, "OK"));
}

}  // namespace
