// The simulated device and modem on their own, without a line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "link/Plcbox.h"
#include "sim/Simdevice.h"
#include "sim/Simmodem.h"
#include "tests/support/Requests.h"

namespace {

using Bytes = std::vector<uint8_t>;

using requests::Read;
using requests::Request;

Bytes Write(uint8_t table, uint8_t first, const Bytes& values, uint8_t count = 0) {
    Bytes data = {
        0,     0,     0,
        table, first, count ? count : static_cast<uint8_t>(values.size() / (table == 5 ? 64 : 1))};
    data.insert(data.end(), values.begin(), values.end());
    return Request(data);
}

// The answer with its preambles taken off.
Bytes FrameOf(const SimAnswer& answer) {
    Bytes frame = answer.bytes;
    while (!frame.empty() && frame.front() == PreambleByte) {
        frame.erase(frame.begin());
    }
    return frame;
}

uint8_t RefusalCode(const SimAnswer& answer) {
    const Bytes frame = FrameOf(answer);
    EXPECT_EQ(frame[3], TableExchange);  // bit 7 clear
    return frame.size() > 4 ? frame[4] : 0;
}

TEST(SimDevice, ReadsEchoTheRequestAndCarryTheTable) {
    SimDevice device(8, 5);
    struct Case {
        uint8_t table, first, count;
        const uint8_t* values;
        size_t bytes;
    };
    const Case cases[] = {
        {0, 0, 17, device.tables.Ident.data(), 17},
        {1, 0, 2, device.tables.RateMasks.data(), 8},
        {3, 0, 8, device.tables.Link.data(), 8},
        {5, 0, 1, device.tables.Modem.data(), 64},
        {6, 0, 130, device.tables.FlowComputers.data(), 130},
        {6, 130, 125, device.tables.FlowComputers.data() + 130, 125},
        {7, 0, 8, device.tables.Restore.data(), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.table));
        const SimAnswer answer = device.Handle(Read(c.table, c.first, c.count));
        EXPECT_EQ(answer.bytes.size() - FrameOf(answer).size(), device.tables.Link[1]);
        const Bytes frame = FrameOf(answer);
        ASSERT_EQ(frame.size(), ResponseValuesOffset + c.bytes + 2);
        EXPECT_EQ(FrameCheckSum(frame.data(), static_cast<uint16_t>(frame.size())), 0);
        EXPECT_EQ(frame[3], TableExchange | AcceptedBit);
        EXPECT_EQ(Bytes(frame.begin() + 4, frame.begin() + 7), (Bytes{c.table, c.first, c.count}));
        EXPECT_EQ(0, std::memcmp(frame.data() + 7, c.values, c.bytes));
    }
    EXPECT_EQ(device.tables.Ident[1], 8);
    EXPECT_EQ(device.tables.Ident[3], 5);
    EXPECT_EQ(device.tables.Link[0], 11);  // 9600 bit/s
}

TEST(SimDevice, TableThreeHasSevenFieldsForVersionsThreeAndFour) {
    for (uint8_t version : {3, 4}) {
        SimDevice device(8, version);
        EXPECT_EQ(RefusalCode(device.Handle(Read(3, 0, 8))), 13);
        EXPECT_EQ(FrameOf(device.Handle(Read(3, 0, 7))).size(), 7u + 7 + 2);
        EXPECT_EQ(RefusalCode(device.Handle(Write(3, 0, Bytes(8, 1)))), 14);
    }
}

TEST(SimDevice, WritesAreStoredAndReadBack) {
    SimDevice device(8, 5);
    Bytes entries(243);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i] = static_cast<uint8_t>(0x20 | (i % 22));
    }
    SimAnswer answer = device.Handle(Write(6, 0, entries));
    EXPECT_TRUE(answer.stored);
    EXPECT_FALSE(answer.tableThreeWritten);
    EXPECT_EQ(FrameOf(answer).size(), FrameOverhead);
    const Bytes back = FrameOf(device.Handle(Read(6, 0, 130)));
    EXPECT_EQ(Bytes(back.begin() + 7, back.end() - 2),
              Bytes(entries.begin(), entries.begin() + 130));

    Bytes modem(64, 0);
    std::memcpy(modem.data(), "ATZ\r", 4);
    EXPECT_TRUE(device.Handle(Write(5, 0, modem)).stored);
    EXPECT_EQ(Bytes(device.tables.Modem.begin(), device.tables.Modem.end()), modem);

    answer = device.Handle(Write(3, 0, {15, 0, 5, 1, 0, 0, 10, 1}));
    EXPECT_TRUE(answer.tableThreeWritten);
    EXPECT_EQ(device.tables.Link[0], 15);
    EXPECT_EQ(answer.bytes.size(), FrameOverhead);  // field 1 now asks for no preambles
}

TEST(SimDevice, RefusesWithTheDevicesOwnCodes) {
    SimDevice device(8, 5);
    EXPECT_EQ(RefusalCode(device.Handle(Read(2, 0, 1))), 9);  // no such table
    EXPECT_EQ(RefusalCode(device.Handle(Read(8, 0, 1))), 9);
    EXPECT_EQ(RefusalCode(device.Handle(Read(0, 10, 8))), 13);             // no such field
    EXPECT_EQ(RefusalCode(device.Handle(Write(0, 0, Bytes(17, 0)))), 12);  // read only
    EXPECT_EQ(RefusalCode(device.Handle(Write(7, 0, Bytes(8, 0)))), 12);
    EXPECT_EQ(RefusalCode(device.Handle(Write(6, 250, Bytes(10, 0)))), 14);
    EXPECT_EQ(RefusalCode(device.Handle(Write(6, 0, Bytes(200, 0), 244))), 37);
    EXPECT_EQ(RefusalCode(device.Handle(Write(6, 0, Bytes(5, 0), 6))), 2);  // values short
    EXPECT_EQ(RefusalCode(device.Handle(Request({0, 0, 17}))), 2);
    EXPECT_EQ(RefusalCode(device.Handle(Request({0, 0, 17, 0, 0, 0}, 30))), 1);
    EXPECT_EQ(device.tables.FlowComputers[0], 0);  // nothing refused was stored
}

TEST(SimDevice, FramesForOthersOrDamagedGetNoAnswer) {
    SimDevice device(8, 5);
    EXPECT_TRUE(device.Handle(Request({0, 0, 17, 0, 0, 0}, TableExchange, 3)).bytes.empty());
    Bytes damaged = Read(0, 0, 17);
    damaged[5] ^= 1;
    EXPECT_TRUE(device.Handle(damaged).bytes.empty());
    Bytes cut = Read(0, 0, 17);
    cut.pop_back();
    EXPECT_TRUE(device.Handle(cut).bytes.empty());
}

TEST(SimDevice, DestroyedTableClearsOnlyWhenEveryFieldIsWritten) {
    SimDevice device(8, 5);
    device.Destroy(6);
    EXPECT_EQ(device.tables.Ident[0], 6);
    EXPECT_EQ(device.tables.Restore[6], 1);
    device.Handle(Write(6, 0, Bytes(243, 0x2B)));
    device.Handle(Write(5, 0, Bytes(64, 0)));
    EXPECT_EQ(device.DestroyedTable(), 6);
    device.Handle(Write(6, 243, Bytes(12, 0x2B)));
    EXPECT_EQ(device.DestroyedTable(), 0);
    EXPECT_EQ(device.tables.Restore[6], 0);

    SimDevice old(8, 4);
    old.Destroy(3);
    old.Handle(Write(3, 0, Bytes(7, 2)));  // all seven fields of a version 4 device
    EXPECT_EQ(old.DestroyedTable(), 0);
}

TEST(SimDevice, FaultsHitTheNextRequestsOnly) {
    EXPECT_FALSE(ParseFault("loud"));
    EXPECT_FALSE(ParseFault("silent@"));
    EXPECT_FALSE(ParseFault("refuse:"));
    EXPECT_FALSE(ParseFault("refuse:300"));
    EXPECT_FALSE(ParseFault("gap@x"));
    EXPECT_FALSE(ParseFault("gap@1+"));
    EXPECT_FALSE(ParseFault("gap+x"));

    SimDevice device(8, 5);
    device.faults = {*ParseFault("silent@1")};
    EXPECT_TRUE(device.Handle(Write(6, 1, {0x4B})).bytes.empty());
    EXPECT_EQ(device.tables.FlowComputers[1], 0x2B);  // never reached the device
    EXPECT_FALSE(device.Handle(Read(0, 0, 17)).bytes.empty());

    device.faults = {*ParseFault("badcrc@1"), *ParseFault("gap@2")};
    SimAnswer answer = device.Handle(Write(6, 1, {0x4B}));
    EXPECT_EQ(FrameOf(answer).size(), 3u);
    EXPECT_EQ(device.tables.FlowComputers[1], 0x4B);  // the write was done all the same
    EXPECT_EQ(FrameOf(device.Handle(Read(0, 0, 17))).size(), 3u);
    const Bytes sound = FrameOf(device.Handle(Read(0, 0, 17)));
    EXPECT_EQ(FrameCheckSum(sound.data(), static_cast<uint16_t>(sound.size())), 0);

    device.faults = {*ParseFault("silent@1+2")};  // the third request, only
    EXPECT_FALSE(device.Handle(Read(0, 0, 17)).bytes.empty());
    EXPECT_FALSE(device.Handle(Read(0, 0, 17)).bytes.empty());
    EXPECT_TRUE(device.Handle(Read(0, 0, 17)).bytes.empty());
    EXPECT_FALSE(device.Handle(Read(0, 0, 17)).bytes.empty());

    device.faults = {*ParseFault("badcrc")};
    const Bytes bad = FrameOf(device.Handle(Read(0, 0, 17)));
    EXPECT_NE(FrameCheckSum(bad.data(), static_cast<uint16_t>(bad.size())), 0);

    device.faults = {*ParseFault("echo")};
    const Bytes echo = FrameOf(device.Handle(Read(5, 0, 1)));
    EXPECT_EQ(echo[4], 6);
    EXPECT_EQ(FrameCheckSum(echo.data(), static_cast<uint16_t>(echo.size())), 0);

    device.faults = {*ParseFault("noise")};
    answer = device.Handle(Read(0, 0, 17));
    EXPECT_NE(answer.bytes.front(), PreambleByte);
    EXPECT_NE(answer.bytes.front(), ResponseStart);

    device.faults = {*ParseFault("refuse:60")};
    const Bytes refused = FrameOf(device.Handle(Read(6, 0, 130)));
    EXPECT_EQ(Bytes(refused.begin() + 3, refused.begin() + 7), (Bytes{TableExchange, 60, 0, 6}));
    device.faults = {*ParseFault("refuse:24")};
    EXPECT_EQ(RefusalCode(device.Handle(Read(0, 0, 17))), 24);
}

TEST(SimDevice, StateFileKeepsTheTablesAndRefusesAForeignFile) {
    const std::string path =
        std::filesystem::temp_directory_path() / ("zantir-sim-state-" + std::to_string(getpid()));
    SimDevice device(8, 6);
    device.Handle(Write(6, 100, {0x6B}));
    device.Destroy(5);
    ASSERT_TRUE(device.SaveState(path));
    EXPECT_EQ(std::filesystem::file_size(path), SimStateSize);

    SimDevice restored(8, 5);
    ASSERT_TRUE(restored.LoadState(path));
    EXPECT_EQ(restored.tables.FlowComputers[100], 0x6B);
    EXPECT_EQ(restored.tables.Ident[3], 6);
    EXPECT_EQ(restored.DestroyedTable(), 5);
    restored.Handle(Write(5, 0, Bytes(64, 0)));
    EXPECT_EQ(restored.DestroyedTable(), 0);

    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "not a state";
    }
    SimDevice other(8, 5);
    EXPECT_FALSE(other.LoadState(path));
    EXPECT_EQ(other.tables.FlowComputers[100], 0);
    std::filesystem::remove(path);
}

struct ModemTest : testing::Test {
    std::string Out() {
        const auto bytes = modem.TakeOutput();
        return {bytes.begin(), bytes.end()};
    }
    Bytes Type(const std::string& text) {
        return modem.FromComputer(reinterpret_cast<const uint8_t*>(text.data()), text.size(), now);
    }
    void Wait(LinkDuration d) {
        now += d;
        modem.Tick(now);
    }
    SimModem::Options options;
    SimModem modem{options};
    LinkTime now{std::chrono::seconds(100)};
};

TEST_F(ModemTest, CommandModeEchoesAndAnswersInWords) {
    Type("ath\r");
    EXPECT_EQ(Out(), "ath\r\r\nOK\r\n");
    Type("ATE0V1\r");
    EXPECT_EQ(Out(), "ATE0V1\r\r\nOK\r\n");
    Type("AT&F\r");
    EXPECT_EQ(Out(), "\r\nOK\r\n");
    Type("hello\r");  // not a command
    EXPECT_EQ(Out(), "");
    Type("ATV0\r");
    EXPECT_EQ(Out(), "\r\n0\r");
    Type("AT!\r");
    EXPECT_EQ(Out(), "\r\n4\r");
    Type(std::string("\xCC\x00\x0C", 3) + "ATV1\r");  // noise before a command
    EXPECT_NE(Out().find("\r\nOK\r\n"), std::string::npos);
}

TEST_F(ModemTest, DialConnectsAndTheCallCarriesDataUntilEscapeAndHangUp) {
    Type("ATE0V1\r");
    Out();
    Type("ATD 1 (234) 567-89-01\r");
    EXPECT_EQ(Out(), "");
    Wait(SimModem::DialTime);
    EXPECT_EQ(Out(), "\r\nCONNECT 9600\r\n");
    ASSERT_TRUE(modem.Online());
    EXPECT_EQ(Type(std::string("\xCC\x00+++", 5)), Bytes({0xCC, 0x00, '+', '+', '+'}));

    Wait(std::chrono::milliseconds(1100));
    EXPECT_TRUE(Type("+++").empty());
    Wait(std::chrono::milliseconds(900));
    EXPECT_TRUE(modem.Online());
    Wait(std::chrono::milliseconds(200));
    EXPECT_EQ(Out(), "\r\nOK\r\n");
    EXPECT_FALSE(modem.Online());
    EXPECT_TRUE(modem.CallUp());
    Type("ath\r");
    EXPECT_EQ(Out(), "\r\nOK\r\n");
    EXPECT_FALSE(modem.CallUp());
}

TEST_F(ModemTest, DialOutcomesAsTold) {
    SimModem busy({"", "BUSY"});
    busy.FromComputer(reinterpret_cast<const uint8_t*>("ATD1\r"), 5, now);
    busy.Tick(now + SimModem::DialTime);
    const auto out = busy.TakeOutput();
    EXPECT_EQ(std::string(out.begin(), out.end()), "ATD1\r\r\nBUSY\r\n");
    EXPECT_FALSE(busy.CallUp());

    SimModem choosy({"5551234", ""});
    choosy.FromComputer(reinterpret_cast<const uint8_t*>("ATD555-1235\r"), 12, now);
    choosy.Tick(now + SimModem::DialTime);
    const auto wrong = choosy.TakeOutput();
    EXPECT_NE(std::string(wrong.begin(), wrong.end()).find("NO ANSWER"), std::string::npos);

    SimModem deaf({"", "silence"});
    deaf.FromComputer(reinterpret_cast<const uint8_t*>("ATD1\r"), 5, now);
    deaf.TakeOutput();
    deaf.Tick(now + std::chrono::seconds(60));
    EXPECT_TRUE(deaf.TakeOutput().empty());
}

}  // namespace
