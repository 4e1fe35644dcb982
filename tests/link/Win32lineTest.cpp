#include <gtest/gtest.h>

#include "link/Win32line.h"

namespace {

using namespace std::chrono_literals;

struct DcbCase {
    const char* name;
    LineSettings settings;
    Win32DcbValues expected;
};

class DcbValues : public testing::TestWithParam<DcbCase> {};

TEST_P(DcbValues, CarryTheLineSettingsInWin32sOwnCodes) {
    const DcbCase& c = GetParam();
    const Win32DcbValues dcb = DcbValuesFor(NormaliseLineSettings(c.settings));
    EXPECT_EQ(dcb.BaudRate, c.expected.BaudRate);
    EXPECT_EQ(dcb.ByteSize, c.expected.ByteSize);
    EXPECT_EQ(dcb.Parity, c.expected.Parity);
    EXPECT_EQ(dcb.StopBits, c.expected.StopBits);
    EXPECT_EQ(dcb.DtrControl, c.expected.DtrControl);
    EXPECT_EQ(dcb.RtsControl, c.expected.RtsControl);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DcbValues,
    testing::Values(
        // The program's own open: 8N1, DTR on, RTS off; a non-standard rate passes as it is.
        DcbCase{"programsOwn", {.BaudRate = 62500}, {62500, 8, 0, 0, 1, 0}},
        // Even is 1 in the settings and EVENPARITY 2 in Win32; odd the other way round.
        DcbCase{"even",
                {.BaudRate = 9600, .Parity = 1, .StopBits = 2, .Dtr = false, .Rts = true},
                {9600, 8, 2, 2, 0, 1}},
        DcbCase{"odd",
                {.BaudRate = 9600, .ByteSize = 7, .Parity = 2, .StopBits = 1, .Dtr = false},
                {9600, 7, 1, 1, 0, 0}},
        // Out of range: limited or fallen back before the port sees them.
        DcbCase{"limits",
                {.BaudRate = 50, .ByteSize = 12, .Parity = 3, .StopBits = 5, .Rts = true},
                {110, 8, 0, 0, 1, 1}},
        DcbCase{"top", {.BaudRate = 300000, .ByteSize = 2}, {256000, 4, 0, 0, 1, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Win32ReadTimeouts, ZeroWaitReturnsAtOnceAndAWaitEndsWithTheFirstByte) {
    ComTimeouts callers{MaxDword, 0, 0, 50, 50};
    const ComTimeouts now = ReadWaitTimeouts(callers, 0ns);
    EXPECT_EQ(now.ReadIntervalTimeout, MaxDword);
    EXPECT_EQ(now.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(now.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(now.WriteTotalTimeoutMultiplier, 50u);
    EXPECT_EQ(now.WriteTotalTimeoutConstant, 50u);
    using Wait = std::pair<std::chrono::nanoseconds, uint32_t>;
    for (const auto& [wait, ms] : {Wait{1500us, 2}, Wait{1ns, 1}, Wait{250ms, 250}}) {
        const ComTimeouts waiting = ReadWaitTimeouts(callers, wait);
        EXPECT_EQ(waiting.ReadIntervalTimeout, MaxDword);
        EXPECT_EQ(waiting.ReadTotalTimeoutMultiplier, MaxDword);
        EXPECT_EQ(waiting.ReadTotalTimeoutConstant, ms);
        EXPECT_EQ(waiting.WriteTotalTimeoutConstant, 50u);
    }
    // MAXDWORD as the constant means something else to the system: never given.
    EXPECT_EQ(ReadWaitTimeouts(callers, std::chrono::hours(24 * 60)).ReadTotalTimeoutConstant,
              MaxDword - 1);
}

TEST(Win32PortNames, ComNamesTakeTheDeviceFormAndOthersStayAsGiven) {
    EXPECT_EQ(Win32PortPath("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(Win32PortPath("com12"), "\\\\.\\COM12");
    EXPECT_EQ(Win32PortPath("COM256"), "\\\\.\\COM256");
    for (const char* other : {"COM", "COM0", "COMX", "COM1 ", "\\\\.\\COM3", "NUL", "LPT1",
                              "C:\\ports\\COM1", "COM12345"}) {
        EXPECT_EQ(Win32PortPath(other), other);
    }
}

TEST(Win32Errors, NameTheCauseAndTellAPulledAdapter) {
    EXPECT_EQ(Win32FailureText(2), "нет такого устройства");
    EXPECT_EQ(Win32FailureText(5), "порт занят другой программой");
    EXPECT_EQ(Win32FailureText(32), "порт занят другой программой");
    EXPECT_EQ(Win32FailureText(1), "не является последовательным портом");
    EXPECT_EQ(Win32FailureText(1450), "ошибка Windows 1450");
    for (uint32_t gone : {5u, 22u, 31u, 995u, 1167u, 1617u}) {
        EXPECT_TRUE(Win32LineGone(gone)) << gone;
    }
    for (uint32_t kept : {0u, 2u, 87u, 1460u}) {
        EXPECT_FALSE(Win32LineGone(kept)) << kept;
    }
}

}  // namespace
