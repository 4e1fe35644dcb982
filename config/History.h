#pragma once
// The history of the configurations read from and written to devices: CONFIG/history/
// holds one .cnf for each read or write that found the device's configuration different
// from the newest one kept of that device, under a name of its own that is never reused,
// and index.csv lists them. Nothing in the folder is ever replaced; the index is only
// appended to, one whole line at a time.
#include <ctime>
#include <string>
#include <vector>

#include "config/Configrecord.h"

inline constexpr char HistoryFolderName[] = "history";
inline constexpr char HistoryIndexName[] = "index.csv";
inline constexpr char HistoryIndexHeader[] =
    "time,event,link,place,type,version,tables,file,changed";

// What happened to the device, and where it was reached.
struct HistoryEvent {
    std::string Event;   // "чтение", "перед записью", "запись"
    std::string Link;    // the link type's name
    std::string Place;   // the port, or the telephone number
    std::string Tables;  // the tables read or written, "1 3 4 6"
};

// One line of the index.
struct HistoryEntry {
    std::string Time;  // local, "2026-12-09 14:32:05"
    std::string Event;
    std::string Link;
    std::string Place;
    int TypeCode = 0;
    int SoftwareVersion = 0;
    std::string Tables;
    std::string File;     // the name within the history folder
    std::string Changed;  // what differs from the entry before it of the same device
};

// CONFIG/history.
std::string HistoryDirectory();

enum class HistoryResult {
    Added,      // a new file and index line
    Unchanged,  // the newest entry of the device holds the same configuration
    Failed,     // nothing could be kept; error says why
};
// Keeps record in folder (made when missing) unless the newest entry of the same device
// (link, place and device type) holds the same configuration. file: the entry's file name
// (the new one, or the unchanged one). local: the time of the entry.
HistoryResult KeepInHistory(const std::string& folder, const ConfigRecord& record,
                            const HistoryEvent& event, const std::tm& local, std::string& file,
                            std::string& error);
// The same at the current local time.
HistoryResult KeepInHistory(const std::string& folder, const ConfigRecord& record,
                            const HistoryEvent& event, std::string& file, std::string& error);

// The index's lines, oldest first; a line that cannot be read is passed over.
std::vector<HistoryEntry> ReadHistoryIndex(const std::string& folder);

// One CSV line of the fields (no line end); every field quoted, quotes doubled, line
// ends and other control characters as blanks. SplitCsvLine reads it back.
std::string CsvLine(const std::vector<std::string>& fields);
bool SplitCsvLine(const std::string& line, std::vector<std::string>& fields);
