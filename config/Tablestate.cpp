#include "config/Tablestate.h"

#include <algorithm>

#include "config/Configimage.h"

TableStateSet MakeTableStateSet(const uint8_t* table7) {
    TableStateSet set{};
    for (const TableFlag& flag : TableFlags) {
        set.ConfigTables[flag.Table] = flag.Flag != 0 ? 1 : 0;
    }
    std::copy_n(table7, set.RestoreRequired.size(), set.RestoreRequired.begin());
    return set;
}
