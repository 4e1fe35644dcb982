#include "config/Devicetables.h"

#include <array>

const DeviceTable* FindDeviceTable(uint8_t number) {
    static constexpr std::array<const DeviceTable*, TableCount> tables = {
        &IdentTable, &RateMaskTable,     nullptr,       &LinkTable, nullptr,
        &ModemTable, &FlowComputerTable, &RestoreTable,
    };
    return number < tables.size() ? tables[number] : nullptr;
}
