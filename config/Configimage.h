#pragma once
// The device's tables 0, 1, 3, 5 and 6 in one 352-byte image, byte for byte in the
// device's own layout: what is read from the device and what is written back to it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/Devicetables.h"

inline constexpr size_t IdentOffset = 0;          // table 0, the IdentBlock
inline constexpr size_t RateMaskOffset = 17;      // table 1
inline constexpr size_t LinkTableOffset = 25;     // table 3
inline constexpr size_t ModemTableOffset = 33;    // table 5
inline constexpr size_t FlowComputerOffset = 97;  // table 6, entry a at 97 + a
inline constexpr size_t ConfigImageSize = 352;
static_assert(RateMaskOffset == IdentOffset + IdentTable.Bytes());
static_assert(LinkTableOffset == RateMaskOffset + RateMaskTable.Bytes());
static_assert(ModemTableOffset == LinkTableOffset + LinkTable.Bytes());
static_assert(FlowComputerOffset == ModemTableOffset + ModemTable.Bytes());
static_assert(ConfigImageSize == FlowComputerOffset + FlowComputerTable.Bytes());

// Bytes of the IdentBlock.
inline constexpr size_t IdentDestroyedTable = 0;  // 0, or the number of a destroyed table
inline constexpr size_t IdentTypeCode = 1;
inline constexpr size_t IdentHardwareVersion = 2;
inline constexpr size_t IdentSoftwareVersion = 3;
inline constexpr size_t IdentYear = 4;  // build date and time of the software
inline constexpr size_t IdentMonth = 5;
inline constexpr size_t IdentDay = 6;
inline constexpr size_t IdentHour = 7;
inline constexpr size_t IdentMinute = 8;
inline constexpr size_t IdentSecond = 9;
inline constexpr size_t IdentByteOrder = 10;
inline constexpr size_t IdentMultiRate = 11;     // 0: one baud rate only
inline constexpr size_t IdentFixedAddress = 13;  // 0: the address can be changed
inline constexpr size_t IdentProtocolMajor = 14;
inline constexpr size_t IdentProtocolMinor = 15;
inline constexpr size_t IdentProtocolRelease = 16;
inline constexpr uint8_t DeviceTypeCode = 8;  // the only device this program serves

// Fields of table 3, the device's link to the upper-level client and to the flow
// computers. Field 0 is the baud code of the link this program talks over.
enum LinkTableFields : size_t {
    UpperLevelBaudCode = 0,
    UpperLevelReplyPreambles = 1,
    FlowComputerRequestPreambles = 2,
    AccessPriority = 3,             // 0 high, 1 low
    WaitFlowComputerPreambles = 4,  // 0 no, 1 yes
    PortRetryDelay = 5,             // 0 lesser, 1 greater
    FlowComputerReplyWait = 6,      // x 20 ms + 1000 ms
    UpperLevelRtsControl = 7,       // software versions 5 and 6 only
};
inline constexpr uint8_t DefaultBaudCode = 2;  // 1200 bit/s

// A table 6 entry: port in bits 7..5 (0 none, 1..3 ports A..C), baud code in bits 4..0.
inline constexpr int EntryPortShift = 5;
inline constexpr uint8_t EntryCodeMask = 0x1F;
inline constexpr uint8_t LastPort = 3;

struct ConfigImage {
    std::array<uint8_t, ConfigImageSize> Bytes{};

    uint8_t SoftwareVersion() const { return Bytes[IdentOffset + IdentSoftwareVersion]; }
    // Table 3 bytes that a device of this image's software version has.
    size_t LinkTableBytes() const {
        return static_cast<size_t>(LinkTableFieldCount(SoftwareVersion()));
    }
};
static_assert(sizeof(ConfigImage) == ConfigImageSize);

// Where field 0 of a table lies in the image; -1 for a table the image does not hold.
int ImageOffsetOf(uint8_t table);

// A device that reports a baud code it does not have is talked to at 1200 bit/s.
void RepairUpperLevelBaudCode(ConfigImage& image);

// Table 1: mask 0 is for the port to the upper-level client, mask 1 for the ports to
// the flow computers; bit i set means baud code i is available.
uint32_t RateMask(const ConfigImage& image, int mask);
bool IsRateAvailable(uint32_t mask, int code);
// Used whenever table 1 is not read: every rate is offered.
void MarkAllRatesAvailable(ConfigImage& image);

// Configuration tables (3, 5, 6) are the ones that may be written; the table-state
// dialog lists them and the progress of a whole read counts them.
struct TableFlag {
    uint8_t Table;
    uint8_t Flag;
};
constexpr bool IsConfigTable(int table) {
    return table == LinkTable.Number || table == ModemTable.Number ||
           table == FlowComputerTable.Number;
}
inline constexpr std::array<TableFlag, TableCount> TableFlags = [] {
    std::array<TableFlag, TableCount> flags{};
    for (uint8_t t = 0; t < flags.size(); ++t) {
        flags[t] = {t, static_cast<uint8_t>(IsConfigTable(t) ? 1 : 0)};
    }
    return flags;
}();
inline constexpr int ConfigTableCount = [] {
    int count = 0;
    for (const TableFlag& f : TableFlags) {
        count += f.Flag != 0 ? 1 : 0;
    }
    return count;
}();

// Consecutive changed fields of one table, no more than one write carries.
struct TableRun {
    uint8_t FirstField;
    uint8_t FieldCount;
};

// What must be written to bring the device from the snapshot to the image.
struct TableChanges {
    int LinkFieldCount = 0;  // table 3 fields to write from field 0; 0 when unchanged
    bool ModemChanged = false;
    std::vector<TableRun> FlowComputerRuns;  // in field order

    bool Any() const { return LinkFieldCount > 0 || ModemChanged || !FlowComputerRuns.empty(); }
};

// Table 3 is compared over the fields its software version has (taken from the image),
// table 5 whole, table 6 entry by entry.
TableChanges FindChangedTables(const ConfigImage& image, const ConfigImage& snapshot);
