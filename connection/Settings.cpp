#include "connection/Settings.h"

#include <array>
#include <cstring>
#include <filesystem>

#include "config/Filestore.h"
#include "link/Programdir.h"

std::string SettingsFilePath() {
    return (std::filesystem::path(ProgramDirectory()) / "INI" / "zantir.ini").string();
}

bool LoadSettings(ConnectionSettings& settings, const std::string& path) {
    std::array<uint8_t, SettingsFileSize> file;
    size_t count = 0;
    if (!ReadFileStart(path, file.data(), file.size(), count) || count != file.size()) {
        settings = ConnectionSettings{};
        return false;
    }
    std::memcpy(&settings, file.data(), file.size());
    return true;
}

bool LoadSettings(ConnectionSettings& settings) {
    return LoadSettings(settings, SettingsFilePath());
}

bool SaveSettings(const ConnectionSettings& settings, const std::string& path) {
    std::array<uint8_t, SettingsFileSize> file;
    std::memcpy(file.data(), &settings, file.size());
    return ReplaceFile(path, file.data(), file.size()) == ReplaceResult::Replaced;
}

bool SaveSettings(const ConnectionSettings& settings) {
    return SaveSettings(settings, SettingsFilePath());
}
