#include "link/Folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "link/Programdir.h"

namespace fs = std::filesystem;

namespace {

constexpr char ApplicationName[] = "zantir";

// A folder is writable when a file can really be made there: permissions, a read-only
// mount and an ACL all have their say.
bool Writable(const fs::path& folder) {
    const fs::path probe =
        folder / (".zantir-probe-" + std::to_string(static_cast<long>(getpid())));
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

// An XDG variable counts only as an absolute path; otherwise the default under home.
fs::path XdgFolder(const std::string& variable, const std::string& home, const char* fallback) {
    if (!variable.empty() && fs::path(variable).is_absolute()) {
        return variable;
    }
    return fs::path(home) / fallback;
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeFolder() {
    std::string home = Variable("HOME");
    if (home.empty()) {
        const passwd* entry = getpwuid(getuid());
        home = entry && entry->pw_dir ? entry->pw_dir : "/";
    }
    return home;
}

}  // namespace

ProgramFolders DecideFolders(const FolderEnvironment& environment) {
    const fs::path program = environment.ProgramDirectory;
    std::error_code error;
    ProgramFolders folders;
    if (fs::exists(program / "CONFIG", error) || fs::exists(program / "INI", error) ||
        Writable(program)) {
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
        folders = DecideFolders(
            {program, HomeFolder(), Variable("XDG_CONFIG_HOME"), Variable("XDG_DATA_HOME")});
        decidedFor = program;
    }
    return folders;
}
