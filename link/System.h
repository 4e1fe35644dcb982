#pragma once
// The few services of the operating system that the core needs besides the serial line,
// each platform in a file of its own. Paths are the platform's narrow paths (on Windows the
// ANSI code page, as std::filesystem takes them).
#include <cstdio>
#include <ctime>
#include <string>

// The standard descriptors 0 to 2 that were closed when the program started. Each is then
// taken by the null device opened for reading only, before anything else is opened: a port
// or file opened later never gets one of these numbers, so nothing meant for a standard
// stream reaches a device line or a file, and writing to a stream that was closed still
// fails as it did.
struct ClosedStandardStreams {
    bool Input = false;
    bool Output = false;
    bool Error = false;
};
ClosedStandardStreams TakeClosedStandardDescriptors();

long ProcessId();
// The local calendar time of a moment.
std::tm LocalTime(std::time_t moment);
// The full path of the running executable; empty when the system cannot say.
std::string RunningExecutable();
// True when a file can really be made in folder: permissions, a read-only medium and access
// lists all have their say. Nothing is left behind.
bool CanCreateFileIn(const std::string& folder);
// The user's folders as the platform names them: home, and the roots for per-user settings
// and data (XDG_CONFIG_HOME and XDG_DATA_HOME as set on Linux, %APPDATA% for both on
// Windows); empty where unset. AccountHome is the home the user's account entry gives
// (Linux), for a home the environment does not give.
struct UserFolders {
    std::string Home;
    std::string ConfigHome;
    std::string DataHome;
    std::string AccountHome;
};
UserFolders CurrentUserFolders();
// Both the error stream and the input are a terminal: the operator can answer.
bool StandardStreamsInteractive();
// Texts written to the console are UTF-8 (Windows consoles start in an OEM code page).
void UseUtf8Console();

// Whose a folder is, for the choice of where the program keeps its files.
struct FolderAccess {
    bool Exists = false;
    // Its owner is the user the program runs as (on Windows: any folder the user may write).
    bool Own = false;
    bool Writable = false;  // as CanCreateFileIn; asked only of a folder of the user's own
};
FolderAccess FolderAccessOf(const std::string& folder);
// The program runs as the superuser (root), who owns the system's folders: owning a
// folder does not make it the user's own. Never so on Windows.
bool RunningAsSuperuser();

// Opens a file to write a record into while it happens (a trace) as it is: created where
// missing, never emptied here, and never waited on: a FIFO that no program reads is refused.
// A terminal, a device or a FIFO with its reader is written as any file. nullptr with the
// reason in error.
std::FILE* OpenToRecord(const std::string& path, std::string& error);
// Empties the file when it is a regular file; anything else is left as it is. False when
// it cannot be told or emptied.
bool EmptyIfRegularFile(std::FILE* file);
// Whether two names lead to one file that is there, of any kind (a device and a FIFO too):
// the same device and inode, on Windows what the file system says. False where either is
// missing.
bool SameExistingFile(const std::string& a, const std::string& b);
