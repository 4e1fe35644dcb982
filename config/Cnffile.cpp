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

namespace {

SaveResult Told(ReplaceResult result, const std::string& path, FileNotice& notice) {
    switch (result) {
        case ReplaceResult::Replaced:
            notice = {false, "Параметры конфигурации", "сохранены в файле " + FileNameOf(path)};
            return SaveResult::Saved;
        case ReplaceResult::NotCreated:
            notice = OpenError();
            return SaveResult::Failed;
        case ReplaceResult::Exists:
            notice = {true, "Файл " + FileNameOf(path) + " уже есть.",
                      "Параметры конфигурации не сохранены"};
            return SaveResult::Exists;
        case ReplaceResult::NotWritten:
            break;
    }
    notice = {true, "Ошибка записи файла " + FileNameOf(path),
              "Параметры конфигурации не сохранены"};
    return SaveResult::Failed;
}

}  // namespace

bool WriteConfigFile(const std::string& path, const ConfigRecord& record, FileNotice& notice) {
    const std::array<uint8_t, ConfigRecordSize> file = ConfigFileData(record);
    return Told(ReplaceFile(path, file.data(), file.size()), path, notice) == SaveResult::Saved;
}

SaveResult WriteNewConfigFile(const std::string& path, const ConfigRecord& record,
                              FileNotice& notice) {
    const std::array<uint8_t, ConfigRecordSize> file = ConfigFileData(record);
    return Told(CreateNewFile(path, file.data(), file.size()), path, notice);
}

bool SaveConfigFileInFolder(const std::string& folder, const ConfigRecord& record,
                            std::string& path, FileNotice& notice) {
    // Each try sees the names taken by the tries before; a bound keeps a folder that
    // misreports its names from holding the save for ever.
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = FreeConfigFileName(folder, record.SoftwareVersion());
        const SaveResult result = WriteNewConfigFile(path, record, notice);
        if (result != SaveResult::Exists) {
            return result == SaveResult::Saved;
        }
    }
    return false;
}

std::string ConfigDirectory() {
    return Folders().Config;
}

std::string DefaultConfigFileName(const std::string& directory, int softwareVersion,
                                  const std::tm& local, bool withSeconds, int number) {
    char name[96];
    int length = std::snprintf(name, sizeof name, "zrt16-mk%d-%02d%02d%02d-%02d%02d",
                               softwareVersion, local.tm_year + 1900 - 2000, local.tm_mon + 1,
                               local.tm_mday, local.tm_hour, local.tm_min);
    if (withSeconds) {
        length += std::snprintf(name + length, sizeof name - static_cast<size_t>(length), "%02d",
                                local.tm_sec);
    }
    if (number > 1) {
        std::snprintf(name + length, sizeof name - static_cast<size_t>(length), "-%d", number);
    }
    return (std::filesystem::path(directory) / (std::string(name) + ConfigExtension)).string();
}

std::string FreeConfigFileName(const std::string& directory, int softwareVersion,
                               const std::tm& local) {
    std::string name = DefaultConfigFileName(directory, softwareVersion, local);
    for (int number = 1; NameTaken(name) && number < 10000; ++number) {
        name = DefaultConfigFileName(directory, softwareVersion, local, true, number);
    }
    return name;
}

std::string FreeConfigFileName(const std::string& directory, int softwareVersion) {
    return FreeConfigFileName(directory, softwareVersion, LocalTime(std::time(nullptr)));
}

std::string WithConfigExtension(const std::string& path) {
    return std::filesystem::path(path).has_extension() ? path : path + ConfigExtension;
}

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}
