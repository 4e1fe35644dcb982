#include "config/History.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "config/Cnffile.h"
#include "config/Configdiff.h"
#include "config/Filestore.h"
#include "link/System.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t ChangedShown = 5;  // differences named in the index, the rest counted
constexpr int NameAttempts = 100;   // names another program may take while one is saved

std::string TimeText(const std::tm& local) {
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool SameDevice(const HistoryEntry& entry, const HistoryEvent& event, int typeCode) {
    return entry.Link == event.Link && entry.Place == event.Place && entry.TypeCode == typeCode;
}

// What differs from the entry before, in the index's words.
std::string ChangedText(const std::vector<ConfigDifference>& differences) {
    const std::vector<std::string> lines = DifferenceLines(differences);
    std::string text;
    for (size_t i = 0; i < lines.size() && i < ChangedShown; ++i) {
        text += (text.empty() ? "" : "; ") + lines[i];
    }
    if (lines.size() > ChangedShown) {
        text += "; и ещё " + std::to_string(lines.size() - ChangedShown);
    }
    return text;
}

bool AppendLine(const std::string& path, const std::string& line, std::string& error) {
    std::error_code ignored;
    const bool fresh = !fs::exists(path, ignored) || fs::file_size(path, ignored) == 0;
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    // One write a line: appends of two programs never interleave within a line.
    const std::string text = (fresh ? std::string(HistoryIndexHeader) + "\n" : "") + line + "\n";
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = path + ": " + std::strerror(written ? errno : writeErrno);
        return false;
    }
    return true;
}

}  // namespace

std::string HistoryDirectory() {
    return (fs::path(ConfigDirectory()) / HistoryFolderName).string();
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& field : fields) {
        line += line.empty() ? "\"" : ",\"";
        for (const char c : field) {
            if (c == '"') {
                line += "\"\"";
            } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                line += ' ';
            } else {
                line += c;
            }
        }
        line += '"';
    }
    return line;
}

bool SplitCsvLine(const std::string& line, std::vector<std::string>& fields) {
    fields.clear();
    size_t pos = 0;
    while (true) {
        std::string field;
        if (pos < line.size() && line[pos] == '"') {
            ++pos;
            while (true) {
                if (pos >= line.size()) {
                    return false;  // an unclosed quote
                }
                if (line[pos] == '"') {
                    if (pos + 1 < line.size() && line[pos + 1] == '"') {
                        field += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field += line[pos++];
            }
        } else {
            while (pos < line.size() && line[pos] != ',') {
                field += line[pos++];
            }
        }
        fields.push_back(field);
        if (pos >= line.size()) {
            return true;
        }
        if (line[pos] != ',') {
            return false;
        }
        ++pos;
    }
}

std::vector<HistoryEntry> ReadHistoryIndex(const std::string& folder) {
    std::vector<HistoryEntry> entries;
    std::ifstream in(fs::path(folder) / HistoryIndexName, std::ios::binary);
    std::string line;
    std::vector<std::string> f;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line == HistoryIndexHeader || !SplitCsvLine(line, f) || f.size() != 9) {
            continue;
        }
        HistoryEntry entry{f[0], f[1], f[2], f[3], 0, 0, f[6], f[7], f[8]};
        try {
            entry.TypeCode = std::stoi(f[4]);
            entry.SoftwareVersion = std::stoi(f[5]);
        } catch (const std::exception&) {
            continue;
        }
        // An entry names a file in the folder, never one elsewhere.
        if (entry.File.empty() || fs::path(entry.File).filename() != fs::path(entry.File)) {
            continue;
        }
        entries.push_back(entry);
    }
    return entries;
}

HistoryResult KeepInHistory(const std::string& folder, const ConfigRecord& record,
                            const HistoryEvent& event, const std::tm& local, std::string& file,
                            std::string& error) {
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        error = folder + ": " + made.message();
        return HistoryResult::Failed;
    }
    const int typeCode = record.Ident[IdentTypeCode];
    const int version = record.SoftwareVersion();
    std::string changed = "первая запись";
    const std::vector<HistoryEntry> entries = ReadHistoryIndex(folder);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (!SameDevice(*it, event, typeCode)) {
            continue;
        }
        ConfigRecord kept;
        FileNotice ignored;
        if (ReadConfigFile((fs::path(folder) / it->File).string(), kept, ignored)) {
            const auto differences = CompareConfigs(kept, record);
            if (differences.empty() && kept.SoftwareVersion() == version) {
                file = it->File;
                return HistoryResult::Unchanged;
            }
            changed = differences.empty() ? "версия программы" : ChangedText(differences);
        } else {
            changed = "файл " + it->File + " не прочитан";
        }
        break;
    }
    std::string path;
    FileNotice notice;
    SaveResult saved = SaveResult::Exists;
    for (int attempt = 0; attempt < NameAttempts && saved == SaveResult::Exists; ++attempt) {
        path = FreeConfigFileName(folder, version, local);
        saved = WriteNewConfigFile(path, record, notice);
    }
    if (saved != SaveResult::Saved) {
        error = notice.Line1 + (notice.Line2.empty() ? "" : " " + notice.Line2);
        return HistoryResult::Failed;
    }
    file = fs::path(path).filename().string();
    const std::string line =
        CsvLine({TimeText(local), event.Event, event.Link, event.Place, std::to_string(typeCode),
                 std::to_string(version), event.Tables, file, changed});
    if (!AppendLine((fs::path(folder) / HistoryIndexName).string(), line, error)) {
        return HistoryResult::Failed;
    }
    return HistoryResult::Added;
}

HistoryResult KeepInHistory(const std::string& folder, const ConfigRecord& record,
                            const HistoryEvent& event, std::string& file, std::string& error) {
    return KeepInHistory(folder, record, event, LocalTime(std::time(nullptr)), file, error);
}
