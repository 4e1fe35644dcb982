#pragma once
// Configuration files (.cnf): the ConfigRecord byte for byte, 1247 bytes. An older
// 1211-byte layout is read as well and never written.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
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
// The bytes of the file that holds record.
std::array<uint8_t, ConfigRecordSize> ConfigFileData(const ConfigRecord& record);
// True with the notice that it was saved; false with the error, an existing file intact.
// Replaces what the file held.
bool WriteConfigFile(const std::string& path, const ConfigRecord& record, FileNotice& notice);

enum class SaveResult { Saved, Exists, Failed };
// The same for a file that is not there yet: where anything has the name, also where it
// appeared while the file was written, nothing is replaced (Exists, "Файл %s уже есть.").
SaveResult WriteNewConfigFile(const std::string& path, const ConfigRecord& record,
                              FileNotice& notice);
// Saves into folder under the first free default name (below) for the record's software
// version at the current time, passing over a name another program takes meanwhile. path:
// the file saved.
bool SaveConfigFileInFolder(const std::string& folder, const ConfigRecord& record,
                            std::string& path, FileNotice& notice);

// CONFIG beside the program.
std::string ConfigDirectory();
// The name a save proposes, zrt16-mk<version>-<yymmdd>-<hhmm>.cnf in the directory, for a
// local time; with seconds zrt16-mk<version>-<yymmdd>-<hhmmss>.cnf, and with a number n > 1
// zrt16-mk<version>-<yymmdd>-<hhmmss>-<n>.cnf.
std::string DefaultConfigFileName(const std::string& directory, int softwareVersion,
                                  const std::tm& local, bool withSeconds = false, int number = 1);
// The first of those names that nothing in the directory has: to the minute, else to the
// second, else to the second with -2, -3, ... Backups made one after another never meet.
std::string FreeConfigFileName(const std::string& directory, int softwareVersion,
                               const std::tm& local);
// The same at the current local time.
std::string FreeConfigFileName(const std::string& directory, int softwareVersion);
// A name typed without an extension is saved with ".cnf".
std::string WithConfigExtension(const std::string& path);
// The name without its directory, as messages show it.
std::string FileNameOf(const std::string& path);
