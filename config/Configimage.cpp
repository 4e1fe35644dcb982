#include "config/Configimage.h"

#include <algorithm>
#include <cstring>

#include "config/Baudrates.h"

int ImageOffsetOf(uint8_t table) {
    switch (table) {
        case IdentTable.Number:
            return IdentOffset;
        case RateMaskTable.Number:
            return RateMaskOffset;
        case LinkTable.Number:
            return LinkTableOffset;
        case ModemTable.Number:
            return ModemTableOffset;
        case FlowComputerTable.Number:
            return FlowComputerOffset;
        default:
            return -1;
    }
}

void RepairUpperLevelBaudCode(ConfigImage& image) {
    uint8_t& code = image.Bytes[LinkTableOffset + UpperLevelBaudCode];
    if (code >= BaudRates.size()) {
        code = DefaultBaudCode;
    }
}

uint32_t RateMask(const ConfigImage& image, int mask) {
    if (mask < 0 || mask >= RateMaskTable.FieldCount) {
        return 0;
    }
    const uint8_t* field =
        image.Bytes.data() + RateMaskOffset + size_t{RateMaskTable.FieldSize} * mask;
    return uint32_t{field[0]} | uint32_t{field[1]} << 8 | uint32_t{field[2]} << 16 |
           uint32_t{field[3]} << 24;
}

bool IsRateAvailable(uint32_t mask, int code) {
    return code >= 0 && code < static_cast<int>(BaudRates.size()) && (mask >> code & 1u) != 0;
}

void MarkAllRatesAvailable(ConfigImage& image) {
    std::fill_n(image.Bytes.begin() + RateMaskOffset, RateMaskTable.Bytes(), 0xFF);
}

namespace {

bool Differs(const ConfigImage& a, const ConfigImage& b, size_t offset, size_t count) {
    return std::memcmp(a.Bytes.data() + offset, b.Bytes.data() + offset, count) != 0;
}

}  // namespace

TableChanges FindChangedTables(const ConfigImage& image, const ConfigImage& snapshot) {
    TableChanges changes;
    const size_t linkBytes = image.LinkTableBytes();
    if (Differs(image, snapshot, LinkTableOffset, linkBytes)) {
        changes.LinkFieldCount = static_cast<int>(linkBytes);
    }
    changes.ModemChanged = Differs(image, snapshot, ModemTableOffset, ModemTable.Bytes());

    const size_t entries = FlowComputerTable.FieldCount;
    size_t field = 0;
    while (field < entries) {
        if (!Differs(image, snapshot, FlowComputerOffset + field, 1)) {
            ++field;
            continue;
        }
        size_t length = 1;
        while (field + length < entries && length < static_cast<size_t>(MaxWriteFields) &&
               Differs(image, snapshot, FlowComputerOffset + field + length, 1)) {
            ++length;
        }
        changes.FlowComputerRuns.push_back(
            {static_cast<uint8_t>(field), static_cast<uint8_t>(length)});
        field += length;
    }
    return changes;
}
