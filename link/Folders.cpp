#include "link/Folders.h"

#include <filesystem>
#include <system_error>

#include "link/Programdir.h"
#include "link/System.h"

namespace fs = std::filesystem;

namespace {

constexpr char ApplicationName[] = "zantir";

// An XDG variable counts only as an absolute path; otherwise the default under home.
fs::path XdgFolder(const std::string& variable, const std::string& home, const char* fallback) {
    if (!variable.empty() && fs::path(variable).is_absolute()) {
        return variable;
    }
    return fs::path(home) / fallback;
}

}  // namespace

ProgramFolders DecideFolders(const FolderEnvironment& environment) {
    const fs::path program = environment.ProgramDirectory;
    std::error_code error;
    ProgramFolders folders;
    if (fs::exists(program / "CONFIG", error) || fs::exists(program / "INI", error) ||
        CanCreateFileIn(program.string())) {
        folders.Config = (program / "CONFIG").string();
        folders.Settings = (program / "INI").string();
        folders.Ports = (program / "PORTS").string();
        return folders;
    }
    const fs::path config =
        XdgFolder(environment.XdgConfigHome, environment.Home, ".config") / ApplicationName;
    const fs::path data =
        XdgFolder(environment.XdgDataHome, environment.Home, ".local/share") / ApplicationName;
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
        const UserFolders user = CurrentUserFolders();
        folders = DecideFolders({program, user.Home, user.ConfigHome, user.DataHome});
        decidedFor = program;
    }
    return folders;
}
