#pragma once
// The configuration unpacked for the editor: 1247 bytes that a .cnf file holds byte for
// byte, so the layout is a file format. Reserved areas are zero in every record the
// program builds; one read from a file keeps what the file held there.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "config/Configimage.h"

struct FlowComputerRecord {
    uint8_t Connected = 0;  // 1 connected, 0 not
    uint8_t Port = 0;       // 1..3 = A..C; 4..7 read from a device are kept, not connected
    uint8_t BaudCode = 0;   // kept while not connected
};
static_assert(sizeof(FlowComputerRecord) == 3);

inline constexpr size_t FlowComputerCount = FlowComputerTable.FieldCount;  // addresses 0..254
inline constexpr size_t ConfigRecordSize = 1247;

struct ConfigRecord {
    uint8_t IdentPresent = 0;  // 1 when filled from a device read
    std::array<uint8_t, IdentTable.Bytes()> Ident{};
    std::array<uint8_t, 20> Reserved1{};
    std::array<uint8_t, LinkTable.Bytes()> LinkParams{};  // table 3; byte 7 for versions 5, 6
    std::array<uint8_t, 17> Reserved2{};
    std::array<FlowComputerRecord, FlowComputerCount> FlowComputers{};  // by address
    std::array<uint8_t, 255> Reserved3{};
    std::array<uint8_t, ModemTable.Bytes()> ModemInit{};  // table 5
    std::array<uint8_t, 100> Reserved4{};

    uint8_t TypeCode() const { return Ident[IdentTypeCode]; }
    uint8_t SoftwareVersion() const { return Ident[IdentSoftwareVersion]; }
};
static_assert(std::is_trivially_copyable_v<ConfigRecord>);
static_assert(sizeof(ConfigRecord) == ConfigRecordSize);
static_assert(offsetof(ConfigRecord, Ident) == 1);
static_assert(offsetof(ConfigRecord, Reserved1) == 18);
static_assert(offsetof(ConfigRecord, LinkParams) == 38);
static_assert(offsetof(ConfigRecord, Reserved2) == 46);
static_assert(offsetof(ConfigRecord, FlowComputers) == 63);
static_assert(offsetof(ConfigRecord, Reserved3) == 828);
static_assert(offsetof(ConfigRecord, ModemInit) == 1083);
static_assert(offsetof(ConfigRecord, Reserved4) == 1147);

FlowComputerRecord UnpackFlowComputer(uint8_t entry);
// A code too wide for its five bits (a damaged file) is cut to them, not let into the port.
uint8_t PackFlowComputer(const FlowComputerRecord& computer);

// The defaults of a new configuration for a device of this software version.
ConfigRecord NewConfigRecord(uint8_t softwareVersion);

// Image to record, after a whole read; record bytes the image does not fill keep their
// values (table 3 byte 7 for versions 3 and 4), so start from NewConfigRecord.
void LoadEditorRecord(const ConfigImage& image, ConfigRecord& record);
// Record to image, before writing; the IdentBlock and table 1 are left as they are.
void StoreEditorRecord(const ConfigRecord& record, ConfigImage& image);
// Table 3 fields that the record's software version has (7 for a file of versions 3
// and 4, the older layout among them).
uint8_t RecordLinkFields(const ConfigRecord& record);
// The same, for a device whose table 3 may have more fields than the record's version:
// those the record does not hold keep the image's values (the device's, when it was read).
void StoreRecordForDevice(const ConfigRecord& record, ConfigImage& image);

// The modem initialisation string in UTF-8, up to its carriage return.
std::string ModemInitText(const ConfigRecord& record);
