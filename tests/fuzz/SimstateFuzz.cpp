// The simulator's state file over any bytes: the input is the file. A file of another
// size, magic or layout version is refused and the device keeps its tables; one that is
// taken gives the tables it holds (a table it says is destroyed flagged so in table 7 as
// well), saves back as those bytes, and that destroyed table is rewritten as on the
// device, field by field, until it is whole again.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "config/Configimage.h"
#include "config/Devicetables.h"
#include "sim/Simdevice.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/support/Requests.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Saved(const SimDevice& device, const fs::path& path) {
    FUZZ_CHECK(device.SaveState(path.string()));
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes TablesOf(const SimDevice& device) {
    const auto* raw = reinterpret_cast<const uint8_t*>(&device.tables);
    return Bytes(raw, raw + sizeof device.tables);
}

// A device that has been at work: a table destroyed and half rewritten, values changed.
SimDevice Worked() {
    SimDevice device{DeviceTypeCode, 6};
    device.Destroy(FlowComputerTable.Number);
    Bytes write = {0, 0, 0, FlowComputerTable.Number, 0, 100};
    write.resize(write.size() + 100, 0x2B);
    FUZZ_CHECK(device.Handle(requests::Request(write)).stored);
    return device;
}

// Writes every field of a destroyed configuration table, as many at a time as one write
// carries: the table is whole again afterwards.
void Rewrite(SimDevice& device, uint8_t table) {
    const DeviceTable* layout = FindDeviceTable(table);
    FUZZ_CHECK(layout != nullptr);
    const int fields = table == LinkTable.Number ? LinkTableFieldCount(device.tables.Ident[3])
                                                 : layout->FieldCount;
    for (int first = 0; first < fields; first += MaxWriteFields) {
        const int count = std::min(MaxWriteFields, fields - first);
        FUZZ_CHECK(device.DestroyedTable() == table);
        Bytes write = {0, 0, 0, table, static_cast<uint8_t>(first), static_cast<uint8_t>(count)};
        write.resize(write.size() + static_cast<size_t>(count) * layout->FieldSize, 0);
        FUZZ_CHECK(device.Handle(requests::Request(write)).stored);
    }
    FUZZ_CHECK(device.DestroyedTable() == 0);
    FUZZ_CHECK(device.tables.Restore[table] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFolder scratch{"simstate"};
    static MemoryFile file;
    file.Put(data, size);

    SimDevice device = Worked();
    const Bytes before = TablesOf(device);
    const bool loaded = device.LoadState(file.Path());
    const bool ours = size == SimStateSize && std::memcmp(data, SimStateMagic, 4) == 0 &&
                      data[4] == SimStateVersion;
    FUZZ_CHECK(loaded == ours);
    if (!loaded) {
        FUZZ_CHECK(TablesOf(device) == before);
        return 0;
    }

    // The tables are the file's, with the destroyed table's restoration flag raised where
    // the file had it down: the device reports a destroyed table in both places.
    Bytes expected(data, data + size);
    const uint8_t destroyed = data[5];
    if (destroyed >= 1 && destroyed < TableCount) {
        expected[5 + offsetof(SimTables, Restore) + destroyed] = 1;
    }
    FUZZ_CHECK(TablesOf(device) == Bytes(expected.begin() + 5, expected.end()));
    const fs::path saved = scratch.Path() / "state";
    FUZZ_CHECK(Saved(device, saved) == expected);

    // What was saved loads as it was saved.
    SimDevice again{DeviceTypeCode, 3};
    FUZZ_CHECK(again.LoadState(saved.string()));
    FUZZ_CHECK(TablesOf(again) == TablesOf(device));

    if (IsConfigTable(destroyed)) {
        Rewrite(device, destroyed);
    }
    return 0;
}
