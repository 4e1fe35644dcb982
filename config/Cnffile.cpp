#include "config/Cnffile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "config/Filestore.h"
#include "link/Folders.h"
#include "link/System.h"

namespace {

constexpr char ConfigExtension[] = ".cnf";
constexpr uint8_t LegacySoftwareVersion = 3;

// Where the older layout keeps tables 3 (7 bytes), 6 (unpacked entries) and 5.
constexpr size_t LegacyLinkOffset = 0;
constexpr size_t LegacyLinkBytes = 7;
constexpr size_t LegacyEntriesOffset = 25;
constexpr size_t LegacyModemOffset = 1045;

FileNotice OpenError() {
    return {true, "Ошибка открытия файла", ""};
}

ConfigRecord FromLegacy(const uint8_t* file) {
    ConfigRecord record;
    record.Ident[IdentTypeCode] = DeviceTypeCode;
    record.Ident[IdentSoftwareVersion] = LegacySoftwareVersion;
    std::memcpy(record.LinkParams.data(), file + LegacyLinkOffset, LegacyLinkBytes);
    std::memcpy(record.FlowComputers.data(), file + LegacyEntriesOffset,
                sizeof record.FlowComputers);
    std::memcpy(record.ModemInit.data(), file + LegacyModemOffset, record.ModemInit.size());
    return record;
}
static_assert(LegacyEntriesOffset + sizeof(ConfigRecord::FlowComputers) <= LegacyModemOffset);
static_assert(LegacyModemOffset + ModemTable.Bytes() <= LegacyConfigFileSize);

}  // namespace

bool ReadConfigFile(const std::string& path, ConfigRecord& record, FileNotice& notice) {
    std::array<uint8_t, ConfigRecordSize> file{};
    size_t count = 0;
    if (!ReadFileStart(path, file.data(), file.size(), count)) {
        notice = OpenError();
        return false;
    }
    ConfigRecord read{};
    if (count == ConfigRecordSize) {
        std::memcpy(&read, file.data(), sizeof read);
    } else if (count == LegacyConfigFileSize) {
        read = FromLegacy(file.data());
    }
    // Any other size leaves the record empty, so its type code fails below.
    if (read.TypeCode() != DeviceTypeCode) {
        notice = {false, "Файл " + FileNameOf(path) + " не является файлом конфигурации",
                  "устройства zrt16-mk (\"Зантир\")"};
        return false;
    }
    record = read;
    return true;
}

std::array<uint8_t, ConfigRecordSize> ConfigFileData(const ConfigRecord& record) {
    std::array<uint8_t, ConfigRecordSize> file;
    std::memcpy(file.data(), &record, file.size());
    return file;
}

bool WriteConfigFile(const std::string& path, const ConfigRecord& record, FileNotice& notice) {
    const std::array<uint8_t, ConfigRecordSize> file = ConfigFileData(record);
    switch (ReplaceFile(path, file.data(), file.size())) {
        case ReplaceResult::Replaced:
            notice = {false, "Параметры конфигурации", "сохранены в файле " + FileNameOf(path)};
            return true;
        case ReplaceResult::NotCreated:
            notice = OpenError();
            return false;
        case ReplaceResult::NotWritten:
            break;
    }
    notice = {true, "Ошибка записи файла " + FileNameOf(path),
              "Параметры конфигурации не сохранены"};
    return false;
}

std::string ConfigDirectory() {
    return Folders().Config;
}

std::string DefaultConfigFileName(const std::string& directory, int softwareVersion, int year,
                                  int month, int day) {
    char name[64];
    std::snprintf(name, sizeof name, "zrt16-mk%d-%02d%02d%02d%s", softwareVersion, year - 2000,
                  month, day, ConfigExtension);
    return directory + static_cast<char>(std::filesystem::path::preferred_separator) + name;
}

std::string DefaultConfigFileName(const std::string& directory, int softwareVersion) {
    const std::tm local = LocalTime(std::time(nullptr));
    return DefaultConfigFileName(directory, softwareVersion, local.tm_year + 1900, local.tm_mon + 1,
                                 local.tm_mday);
}

std::string WithConfigExtension(const std::string& path) {
    return std::filesystem::path(path).has_extension() ? path : path + ConfigExtension;
}

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}
