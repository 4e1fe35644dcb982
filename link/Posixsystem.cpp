#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "link/System.h"

namespace fs = std::filesystem;

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

long ProcessId() {
    return static_cast<long>(getpid());
}

std::tm LocalTime(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    return local;
}

std::string RunningExecutable() {
    std::error_code error;
    const auto exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

bool CanCreateFileIn(const std::string& folder) {
    const fs::path probe = fs::path(folder) / (".zantir-probe-" + std::to_string(ProcessId()));
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

UserFolders CurrentUserFolders() {
    UserFolders folders{Variable("HOME"), Variable("XDG_CONFIG_HOME"), Variable("XDG_DATA_HOME"),
                        ""};
    const passwd* entry = getpwuid(getuid());
    if (entry && entry->pw_dir) {
        folders.AccountHome = entry->pw_dir;
    }
    return folders;
}

bool StandardStreamsInteractive() {
    return isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
}

void UseUtf8Console() {}

FolderAccess FolderAccessOf(const std::string& folder) {
    FolderAccess access;
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return access;
    }
    access.Exists = true;
    access.Own = status.st_uid == geteuid();
    access.Writable = access.Own && CanCreateFileIn(folder);
    return access;
}

bool RunningAsSuperuser() {
    return geteuid() == 0;
}
