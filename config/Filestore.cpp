#include "config/Filestore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace {

bool ReadAll(int fd, uint8_t* buffer, size_t capacity, size_t& count) {
    count = 0;
    while (count < capacity) {
        const ssize_t got = read(fd, buffer + count, capacity - count);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        count += static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t put = write(fd, data + done, size - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// A target that is a symbolic link is replaced where the link points, so the link stays.
std::string ResolvedTarget(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) {
        return path;
    }
    const auto target = std::filesystem::canonical(path, error);
    return error ? path : target.string();
}

constexpr char TemporaryMark[] = ".zantir-";
constexpr char TemporaryEnd[] = ".tmp";

// A fresh file beside the target; -1 when none can be created.
int CreateBeside(const std::string& target, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, "%s%ld-%d%s", TemporaryMark,
                      static_cast<long>(getpid()), attempt, TemporaryEnd);
        temporary = target + suffix;
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void SyncDirectoryOf(const std::string& path) {
    const auto directory = std::filesystem::path(path).parent_path();
    const int fd = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);  // best effort: the rename itself has succeeded
        close(fd);
    }
}

}  // namespace

bool ReadFileStart(const std::string& path, uint8_t* buffer, size_t capacity, size_t& count) {
    count = 0;
    // Non-blocking, so that a FIFO cannot hold the open; only a regular file is read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool read =
        fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ReadAll(fd, buffer, capacity, count);
    close(fd);
    return read;
}

namespace {

// What a save may replace: nothing yet, or a regular file that may be written and is
// not marked read-only for everyone (root too respects that).
bool MayReplace(const std::string& target) {
    struct stat info {};
    if (stat(target.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0 && access(target.c_str(), W_OK) == 0;
}

}  // namespace

ReplaceResult ReplaceFile(const std::string& path, const uint8_t* data, size_t size) {
    const std::string target = ResolvedTarget(path);
    if (!MayReplace(target)) {
        return ReplaceResult::NotCreated;
    }
    const auto folder = std::filesystem::path(target).parent_path();
    RemoveStaleTemporaries(folder.empty() ? "." : folder.string());
    std::string temporary;
    const int fd = CreateBeside(target, temporary);
    if (fd < 0) {
        return ReplaceResult::NotCreated;
    }
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        fchmod(fd, existing.st_mode & 07777);  // the old file's permissions carry over
    }
    bool written = WriteAll(fd, data, size) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return ReplaceResult::NotWritten;
    }
    SyncDirectoryOf(target);
    return ReplaceResult::Replaced;
}

bool IsSaveTemporary(const std::string& name) {
    // <anything>.zantir-<digits>-<digits>.tmp
    const size_t mark = name.rfind(TemporaryMark);
    const size_t end = name.size() - std::strlen(TemporaryEnd);
    if (mark == std::string::npos || mark == 0 || name.size() < std::strlen(TemporaryEnd) ||
        name.compare(end, std::string::npos, TemporaryEnd) != 0) {
        return false;
    }
    const std::string numbers =
        name.substr(mark + std::strlen(TemporaryMark), end - mark - std::strlen(TemporaryMark));
    const size_t dash = numbers.find('-');
    const auto digits = [](const std::string& text) {
        return !text.empty() &&
               std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return dash != std::string::npos && digits(numbers.substr(0, dash)) &&
           digits(numbers.substr(dash + 1));
}

int RemoveStaleTemporaries(const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    int removed = 0;
    const time_t now = time(nullptr);
    for (fs::directory_iterator it(directory, error), last; !error && it != last;
         it.increment(error)) {
        const std::string path = it->path().string();
        struct stat info {};
        // Only regular files, never through a link, and only when surely old.
        if (!IsSaveTemporary(it->path().filename().string()) || lstat(path.c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode) || now - info.st_mtime < StaleTemporaryAge) {
            continue;
        }
        if (unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}
