#pragma once
// Configuration files (.cnf): the ConfigRecord byte for byte, 1247 bytes. An older
// 1211-byte layout is read as well and never written.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/Configrecord.h"

inline constexpr size_t LegacyConfigFileSize = 1211;

// What the operator is to be told: an error or a notice, in two lines.
struct FileNotice {
    bool Error = false;
    std::string Line1;
    std::string Line2;
};

// The record changes only when true. False with the notice: the file cannot be read,
// or is no configuration of this device.
bool ReadConfigFile(const std::string& path, ConfigRecord& record, FileNotice& notice);
// True with the notice that it was saved; false with the error, an existing file intact.
// The bytes of the file that holds record.
std::array<uint8_t, ConfigRecordSize> ConfigFileData(const ConfigRecord& record);
bool WriteConfigFile(const std::string& path, const ConfigRecord& record, FileNotice& notice);

// CONFIG beside the program.
std::string ConfigDirectory();
// The name a save proposes: zrt16-mk<version>-<yymmdd>.cnf in the directory.
std::string DefaultConfigFileName(const std::string& directory, int softwareVersion, int year,
                                  int month, int day);
// The same with today's local date.
std::string DefaultConfigFileName(const std::string& directory, int softwareVersion);
// A name typed without an extension is saved with ".cnf".
std::string WithConfigExtension(const std::string& path);
// The name without its directory, as messages show it.
std::string FileNameOf(const std::string& path);
