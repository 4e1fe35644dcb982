#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "config/Baudrates.h"
#include "config/Configimage.h"
#include "config/Configrecord.h"
#include "config/Stringi.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RecordBytes(const ConfigRecord& record) {
    Bytes bytes(ConfigRecordSize);
    std::memcpy(bytes.data(), &record, bytes.size());
    return bytes;
}

ConfigImage ImageOfVersion(uint8_t version) {
    ConfigImage image;
    for (size_t i = 0; i < image.Bytes.size(); ++i) {
        image.Bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    image.Bytes[IdentOffset + IdentTypeCode] = DeviceTypeCode;
    image.Bytes[IdentOffset + IdentSoftwareVersion] = version;
    return image;
}

TEST(ConfigRecordLayout, NewRecordHoldsTheDefaultsAndZerosElsewhere) {
    Bytes expected(ConfigRecordSize, 0);
    expected[2] = 8;
    expected[4] = 5;
    expected[38] = 2;
    expected[39] = 3;
    expected[40] = 5;
    expected[41] = 1;
    EXPECT_EQ(RecordBytes(NewConfigRecord(5)), expected);
}

TEST(ConfigRecordLayout, FlowComputerEntriesUnpackAndPackBack) {
    struct Case {
        uint8_t entry;
        uint8_t connected, port, code;
        uint8_t packed;
    };
    const Case cases[] = {
        {0x2B, 1, 1, 11, 0x2B},  // port A, 9600
        {0x0B, 0, 0, 11, 0x0B},  // disconnected keeps its rate
        {0x4B, 1, 2, 11, 0x4B},  // port B
        {0x6B, 1, 3, 11, 0x6B},  // port C
        {0x8B, 0, 4, 11, 0x0B},  // no such port: not connected, written as such
        {0xF5, 0, 7, 21, 0x15},
    };
    ConfigImage image = ImageOfVersion(5);
    for (size_t i = 0; i < std::size(cases); ++i) {
        image.Bytes[FlowComputerOffset + 1 + i] = cases[i].entry;
    }
    ConfigRecord record = NewConfigRecord(5);
    LoadEditorRecord(image, record);
    const Bytes bytes = RecordBytes(record);
    ConfigImage packed = image;
    StoreEditorRecord(record, packed);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const size_t at = 63 + 3 * (1 + i);
        EXPECT_EQ(bytes[at], cases[i].connected);
        EXPECT_EQ(bytes[at + 1], cases[i].port);
        EXPECT_EQ(bytes[at + 2], cases[i].code);
        EXPECT_EQ(packed.Bytes[FlowComputerOffset + 1 + i], cases[i].packed);
    }
}

TEST(ConfigRecordLayout, PackingNeverLetsOneFieldSpillIntoAnother) {
    EXPECT_EQ(PackFlowComputer({1, 0, 11}), 0x0B);  // connected without a port
    EXPECT_EQ(PackFlowComputer({0, 2, 11}), 0x0B);  // port of a disconnected computer
    // Values a damaged file may hold keep the port intact.
    EXPECT_EQ(PackFlowComputer({1, 1, 0xEB}) >> EntryPortShift, 1);
}

TEST(ConfigRecordLayout, UnpackCopiesEachTableToItsPlace) {
    for (uint8_t version : {3, 4, 5, 6}) {
        SCOPED_TRACE(version);
        const ConfigImage image = ImageOfVersion(version);
        ConfigRecord record = NewConfigRecord(version);
        LoadEditorRecord(image, record);
        const Bytes bytes = RecordBytes(record);
        const Bytes img(image.Bytes.begin(), image.Bytes.end());

        EXPECT_EQ(bytes[0], 1);
        EXPECT_EQ(Bytes(bytes.begin() + 1, bytes.begin() + 18),
                  Bytes(img.begin(), img.begin() + 17));
        EXPECT_EQ(Bytes(bytes.begin() + 38, bytes.begin() + 45),
                  Bytes(img.begin() + 25, img.begin() + 32));
        // Versions 3 and 4 have no table 3 field 7: the record's byte stays 0.
        EXPECT_EQ(bytes[45], version <= 4 ? 0 : img[32]);
        EXPECT_EQ(Bytes(bytes.begin() + 1083, bytes.begin() + 1147),
                  Bytes(img.begin() + 33, img.begin() + 97));
        // Entry 0 is carried along like every other.
        EXPECT_EQ(bytes[64], img[97] >> 5);
        EXPECT_EQ(bytes[65], img[97] & 0x1F);
        for (size_t r : {18u, 37u, 46u, 62u, 828u, 1082u, 1147u, 1246u}) {
            EXPECT_EQ(bytes[r], 0) << r;
        }
    }
}

TEST(ConfigRecordLayout, PackWritesTablesThreeFiveAndSixOnly) {
    ConfigImage image = ImageOfVersion(4);
    const ConfigImage before = image;
    ConfigRecord record = NewConfigRecord(4);
    for (size_t i = 0; i < record.LinkParams.size(); ++i) {
        record.LinkParams[i] = static_cast<uint8_t>(100 + i);
    }
    record.ModemInit.fill(0);
    std::memcpy(record.ModemInit.data(), "ATZ\r", 4);
    record.FlowComputers.fill({1, 3, 21});
    StoreEditorRecord(record, image);

    EXPECT_EQ(0, std::memcmp(image.Bytes.data(), before.Bytes.data(), LinkTableOffset));
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(image.Bytes[LinkTableOffset + i], 100 + i);
    }
    EXPECT_EQ(0, std::memcmp(image.Bytes.data() + ModemTableOffset, "ATZ\r\0\0", 6));
    EXPECT_EQ(image.Bytes[ModemTableOffset + 63], 0);
    for (size_t a = 0; a < 255; ++a) {
        EXPECT_EQ(image.Bytes[FlowComputerOffset + a], 0x75) << a;
    }
}

TEST(BaudCodes, LookupsOutsideTheTableGiveTheirMarkers) {
    EXPECT_EQ(BaudRateOf(11), 9600);
    EXPECT_EQ(BaudRateOf(21), 230400);
    EXPECT_EQ(BaudRateOf(22), 0);
    EXPECT_EQ(BaudRateOf(-1), 0);
    EXPECT_EQ(BaudCodeOf(9600), 11);
    EXPECT_EQ(BaudCodeOf(9601), -1);

    ConfigImage image;
    image.Bytes[LinkTableOffset] = 22;
    RepairUpperLevelBaudCode(image);
    EXPECT_EQ(image.Bytes[LinkTableOffset], 2);
    image.Bytes[LinkTableOffset] = 21;
    RepairUpperLevelBaudCode(image);
    EXPECT_EQ(image.Bytes[LinkTableOffset], 21);
}

TEST(BaudCodes, UnreadRateMasksOfferEveryRate) {
    ConfigImage image;
    MarkAllRatesAvailable(image);
    for (int mask : {0, 1}) {
        for (int code = 0; code < 22; ++code) {
            EXPECT_TRUE(IsRateAvailable(RateMask(image, mask), code)) << code;
        }
        EXPECT_FALSE(IsRateAvailable(RateMask(image, mask), 22));
    }
    // The first byte of a mask is its least significant.
    image.Bytes[RateMaskOffset + 4] = 0x00;
    image.Bytes[RateMaskOffset + 5] = 0x08;
    image.Bytes[RateMaskOffset + 6] = 0x00;
    image.Bytes[RateMaskOffset + 7] = 0x00;
    EXPECT_EQ(RateMask(image, 1), 0x800u);
    EXPECT_TRUE(IsRateAvailable(RateMask(image, 1), 11));
    EXPECT_FALSE(IsRateAvailable(RateMask(image, 1), 10));
    EXPECT_EQ(RateMask(image, 0), 0xFFFFFFFFu);
}

TEST(DeviceTableCatalogue, NamesAndFlagsByTableNumber) {
    EXPECT_STREQ(TableName(2), "");
    EXPECT_STREQ(TableName(4), "");
    EXPECT_STREQ(TableName(7), "Требуется восстановление таблицы ");
    EXPECT_STREQ(TableName(8), "");
    EXPECT_EQ(TableFlags[5].Table, 5);
    EXPECT_EQ(TableFlags[5].Flag, 1);
    EXPECT_EQ(TableFlags[7].Flag, 0);
    EXPECT_EQ(ConfigTableCount + 3, 6);  // steps of a whole read
}

struct ChangesTest : testing::Test {
    ConfigImage Changed(std::initializer_list<int> addresses) const {
        ConfigImage image = snapshot;
        for (int a : addresses) {
            image.Bytes[FlowComputerOffset + static_cast<size_t>(a)] ^= 0x20;
        }
        return image;
    }
    static std::vector<std::pair<int, int>> Runs(const TableChanges& changes) {
        std::vector<std::pair<int, int>> runs;
        for (const TableRun& run : changes.FlowComputerRuns) {
            runs.emplace_back(run.FirstField, run.FieldCount);
        }
        return runs;
    }
    ConfigImage snapshot = ImageOfVersion(5);
};

TEST_F(ChangesTest, AnUnchangedImageWritesNothingAndTableFiveCountsToItsLastByte) {
    EXPECT_FALSE(FindChangedTables(snapshot, snapshot).Any());

    ConfigImage image = snapshot;
    image.Bytes[ModemTableOffset + 63] ^= 1;
    const TableChanges changes = FindChangedTables(image, snapshot);
    EXPECT_TRUE(changes.ModemChanged);
    EXPECT_TRUE(changes.Any());
    EXPECT_EQ(changes.LinkFieldCount, 0);
    EXPECT_TRUE(changes.FlowComputerRuns.empty());
}

TEST_F(ChangesTest, ChangedEntriesAreWrittenInRunsOfAtMostOneWrite) {
    using Runs_ = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Runs(FindChangedTables(Changed({1, 2, 9}), snapshot)), (Runs_{{1, 2}, {9, 1}}));
    EXPECT_EQ(Runs(FindChangedTables(Changed({254}), snapshot)), (Runs_{{254, 1}}));
    EXPECT_EQ(Runs(FindChangedTables(Changed({0, 254}), snapshot)), (Runs_{{0, 1}, {254, 1}}));

    ConfigImage all = snapshot;
    for (size_t a = 1; a <= 254; ++a) {
        all.Bytes[FlowComputerOffset + a] ^= 0x01;
    }
    const TableChanges changes = FindChangedTables(all, snapshot);
    EXPECT_EQ(Runs(changes), (Runs_{{1, 243}, {244, 11}}));
    EXPECT_EQ(changes.LinkFieldCount, 0);
    EXPECT_FALSE(changes.ModemChanged);

    all.Bytes[FlowComputerOffset] ^= 0x01;
    EXPECT_EQ(Runs(FindChangedTables(all, snapshot)), (Runs_{{0, 243}, {243, 12}}));
}

TEST_F(ChangesTest, TableThreeIsComparedOverTheFieldsTheVersionWrites) {
    for (uint8_t version : {3, 4, 5, 6}) {
        SCOPED_TRACE(version);
        snapshot = ImageOfVersion(version);
        ConfigImage image = snapshot;
        image.Bytes[LinkTableOffset + 7] ^= 1;  // field 7
        EXPECT_EQ(FindChangedTables(image, snapshot).LinkFieldCount, version <= 4 ? 0 : 8);
        image.Bytes[LinkTableOffset] ^= 1;  // field 0
        EXPECT_EQ(FindChangedTables(image, snapshot).LinkFieldCount, version <= 4 ? 7 : 8);
    }
}

}  // namespace
