#pragma once
// The device's numbered tables as the link moves them: how many fields each has and
// how many bytes a field takes. Tables 2 and 4 are not moved.
#include <cstddef>
#include <cstdint>

struct DeviceTable {
    uint8_t Number;
    uint8_t FieldCount;
    uint8_t FieldSize;  // bytes
    constexpr size_t Bytes() const { return size_t{FieldCount} * FieldSize; }
};

inline constexpr DeviceTable IdentTable{0, 17, 1};          // the IdentBlock
inline constexpr DeviceTable RateMaskTable{1, 2, 4};        // two 32-bit masks, low byte first
inline constexpr DeviceTable LinkTable{3, 8, 1};            // 7 fields for versions 3 and 4
inline constexpr DeviceTable ModemTable{5, 1, 64};          // the modem initialisation string
inline constexpr DeviceTable FlowComputerTable{6, 255, 1};  // one entry per address
inline constexpr DeviceTable RestoreTable{7, 8, 1};         // restoration flag per table

inline constexpr size_t TableCount = 8;
inline constexpr int MaxWriteFields = 243;  // values of one write: a 255-byte frame
inline constexpr int FlowComputerReadSplit = 130;

// Fields of table 3 that a device of this software version has.
inline constexpr int LinkTableFieldCount(uint8_t softwareVersion) {
    return softwareVersion == 3 || softwareVersion == 4 ? 7 : 8;
}

// Null for a table that is not moved (2, 4) or does not exist.
const DeviceTable* FindDeviceTable(uint8_t number);
