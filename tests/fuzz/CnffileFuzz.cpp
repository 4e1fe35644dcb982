// The .cnf reader, both layouts (1247 bytes, and the older 1211 that is read and never
// written), and what the program does with a record taken from a file: the
// identification texts, the modem string, and the record put into an image for writing.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "config/Cnffile.h"
#include "config/Codepage.h"
#include "config/Configrecord.h"
#include "config/Identtext.h"
#include "tests/fuzz/Fuzzcheck.h"

namespace {

// A record that shows whether the reader touched it.
ConfigRecord Untouched() {
    ConfigRecord record;
    std::memset(static_cast<void*>(&record), 0xEE, sizeof record);
    return record;
}

bool SameBytes(const ConfigRecord& a, const ConfigRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every text that reaches the screen is one it can show.
void CheckShown(const std::string& text) {
    std::string cp1251;
    FUZZ_CHECK(ToCp1251(text, cp1251));
}

void CheckUses(const ConfigRecord& record) {
    for (const std::string& value : IdentValues(record.Ident.data(), record.IdentPresent != 0)) {
        CheckShown(value);
    }
    std::string first, second;
    DeviceServed(record.Ident.data(), first, second);
    CheckShown(first);
    CheckShown(second);

    // The modem string comes back to the bytes it was read from, up to its CR.
    const std::string modem = ModemInitText(record);
    std::string cp1251;
    FUZZ_CHECK(ToCp1251(modem, cp1251));
    const auto* raw = reinterpret_cast<const char*>(record.ModemInit.data());
    const std::string field(raw, strnlen(raw, record.ModemInit.size()));
    FUZZ_CHECK(cp1251 == field.substr(0, field.find('\r')));

    // Into an image and back: the tables a device is written from keep their bytes.
    ConfigImage image;
    image.Bytes[IdentOffset + IdentSoftwareVersion] = record.SoftwareVersion();
    StoreEditorRecord(record, image);
    ConfigRecord back = NewConfigRecord(record.SoftwareVersion());
    back.LinkParams = record.LinkParams;
    LoadEditorRecord(image, back);
    FUZZ_CHECK(back.LinkParams == record.LinkParams && back.ModemInit == record.ModemInit);
    for (size_t a = 0; a < FlowComputerCount; ++a) {
        const FlowComputerRecord& read = back.FlowComputers[a];
        FUZZ_CHECK(PackFlowComputer(read) == image.Bytes[FlowComputerOffset + a] ||
                   read.Connected == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    file.Put(data, size);
    ConfigRecord record = Untouched();
    FileNotice notice;
    const bool read = ReadConfigFile(file.Path(), record, notice);
    if (!read) {
        FUZZ_CHECK(SameBytes(record, Untouched()));
        FUZZ_CHECK(!notice.Line1.empty() && !notice.Line2.empty());
        // A file of either layout with the device's type code is a configuration.
        FUZZ_CHECK(size != LegacyConfigFileSize);
        FUZZ_CHECK(size < ConfigRecordSize ||
                   data[offsetof(ConfigRecord, Ident) + IdentTypeCode] != DeviceTypeCode);
        return 0;
    }
    FUZZ_CHECK(record.TypeCode() == DeviceTypeCode);
    FUZZ_CHECK(size == LegacyConfigFileSize || size >= ConfigRecordSize);
    const auto bytes = ConfigFileData(record);
    if (size >= ConfigRecordSize) {
        // The record is the file's first 1247 bytes, and writes back to them.
        FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), data));
    } else {
        // An older file becomes a new-layout record of version 3 that reads back as itself.
        FUZZ_CHECK(record.SoftwareVersion() == 3);
        file.Put(bytes.data(), bytes.size());
        ConfigRecord again = Untouched();
        FUZZ_CHECK(ReadConfigFile(file.Path(), again, notice) && SameBytes(again, record));
    }
    CheckUses(record);
    return 0;
}
