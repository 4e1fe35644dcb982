#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

ClosedStandardStreams TakeClosedStandardDescriptors() {
    ClosedStandardStreams closed;
    bool* flags[] = {&closed.Input, &closed.Output, &closed.Error};
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        *flags[fd] = true;
        // The lowest free number is this one: the lower ones are open by now.
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
    return closed;
}

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

std::FILE* OpenToRecord(const std::string& path, std::string& error) {
    // Non-blocking, so that the open of a FIFO cannot wait for a reader that never comes.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int cause = errno;
        struct stat info {};
        const bool fifo = stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
        error = cause == ENXIO && fifo ? "no program reads the FIFO" : std::strerror(cause);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* file = nullptr;
    if (flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
        file = fdopen(fd, "w");  // no emptying: fdopen leaves the file as it is
    }
    if (!file) {
        error = std::strerror(errno);
        close(fd);
    }
    return file;
}

bool EmptyIfRegularFile(std::FILE* file) {
    struct stat info {};
    const int fd = fileno(file);
    return fstat(fd, &info) == 0 && (!S_ISREG(info.st_mode) || ftruncate(fd, 0) == 0);
}

bool SameExistingFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
