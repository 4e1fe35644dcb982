#include "link/Folders.h"

#include <filesystem>

#include "link/Programdir.h"

namespace fs = std::filesystem;

namespace {

constexpr char ApplicationName[] = "zantir";
constexpr const char* BesideNames[] = {"CONFIG", "INI", "PORTS"};

// The user may keep writing there without taking it from anyone: a folder made by
// another user (root's, after a run with sudo) is left to its owner.
bool IsOwn(const FolderAccess& folder) {
    return folder.Exists && folder.Own && folder.Writable;
}

bool UsableRoot(const std::string& path) {
    return !path.empty() && fs::path(path).is_absolute();
}

// A relative HOME, like a relative XDG variable, names no folder: the account's home
// stands in for it, and "/" when there is none either.
fs::path HomeOf(const FolderFacts& facts) {
    if (UsableRoot(facts.Home)) {
        return facts.Home;
    }
    return UsableRoot(facts.AccountHome) ? facts.AccountHome : "/";
}

fs::path XdgFolder(const std::string& variable, const fs::path& home, const char* fallback) {
    return UsableRoot(variable) ? fs::path(variable) : home / fallback;
}

}  // namespace

FolderFacts GatherFolderFacts(const std::string& programDirectory, const UserFolders& user) {
    FolderFacts facts;
    facts.ProgramDirectory = programDirectory;
    facts.Program = FolderAccessOf(programDirectory);
    for (size_t i = 0; i < facts.Beside.size(); ++i) {
        facts.Beside[i] = FolderAccessOf((fs::path(programDirectory) / BesideNames[i]).string());
    }
    facts.Superuser = RunningAsSuperuser();
    facts.Home = user.Home;
    facts.AccountHome = user.AccountHome;
    facts.XdgConfigHome = user.ConfigHome;
    facts.XdgDataHome = user.DataHome;
    return facts;
}

ProgramFolders DecideFolders(const FolderFacts& facts) {
    // Root owns /usr/bin as much as its own folders: only what root already keeps beside
    // the program tells that the folder is root's to use.
    bool beside = !facts.Superuser && IsOwn(facts.Program);
    for (const FolderAccess& kept : facts.Beside) {
        beside = beside || IsOwn(kept);
    }
    ProgramFolders folders;
    if (beside) {
        const fs::path program = facts.ProgramDirectory;
        folders.Config = (program / "CONFIG").string();
        folders.Settings = (program / "INI").string();
        folders.Ports = (program / "PORTS").string();
        return folders;
    }
    const fs::path home = HomeOf(facts);
    const fs::path config = XdgFolder(facts.XdgConfigHome, home, ".config") / ApplicationName;
    const fs::path data = XdgFolder(facts.XdgDataHome, home, ".local/share") / ApplicationName;
    folders.Config = (data / "CONFIG").string();
    folders.Settings = (config / "INI").string();
    folders.Ports = (config / "PORTS").string();
    folders.BesideProgram = false;
    return folders;
}

const ProgramFolders& Folders() {
    static std::string decidedFor;
    static ProgramFolders folders;
    const std::string& program = ProgramDirectory();
    if (decidedFor != program || folders.Config.empty()) {
        folders = DecideFolders(GatherFolderFacts(program, CurrentUserFolders()));
        decidedFor = program;
    }
    return folders;
}

std::string JournalDirectory() {
    return (fs::path(Folders().Config).parent_path() / "journal").string();
}
