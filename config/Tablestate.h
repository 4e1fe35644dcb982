#pragma once
// What the table-state command hands to the table-state dialog and gets back: which
// tables are configuration tables, which the device reports destroyed, and which the
// operator chose to write. The dialog's choice goes straight to WriteSelectedTables.
#include <array>
#include <cstddef>
#include <cstdint>

#include "config/Devicetables.h"

struct TableStateSet {
    std::array<uint8_t, TableCount> ConfigTables;     // 1: table k may be written
    std::array<uint8_t, TableCount> RestoreRequired;  // table 7 as read; non-zero: destroyed
    std::array<uint8_t, TableCount> WriteTables;      // 1: write table k
};
static_assert(sizeof(TableStateSet) == 24);
static_assert(offsetof(TableStateSet, ConfigTables) == 0);
static_assert(offsetof(TableStateSet, RestoreRequired) == 8);
static_assert(offsetof(TableStateSet, WriteTables) == 16);
static_assert(RestoreTable.Bytes() == TableCount);

// table7: the RestoreTable.Bytes() values of table 7 just read. Nothing is chosen yet.
TableStateSet MakeTableStateSet(const uint8_t* table7);
