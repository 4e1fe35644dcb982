#include "config/Filestore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

// A fresh file beside the target; -1 when none can be created.
int CreateBeside(const std::string& target, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = SaveTemporaryName(target, attempt);
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

// Renames temporary to target in one step that fails where target is there. A file system
// without that kind of rename takes a hard link, which fails the same way.
ReplaceResult PutWhereNothingIs(const std::string& temporary, const std::string& target) {
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return ReplaceResult::Replaced;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) {
        return errno == EEXIST ? ReplaceResult::Exists : ReplaceResult::NotWritten;
    }
    if (link(temporary.c_str(), target.c_str()) != 0) {
        return errno == EEXIST ? ReplaceResult::Exists : ReplaceResult::NotWritten;
    }
    unlink(temporary.c_str());
    return ReplaceResult::Replaced;
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

// Not marked read-only for everyone: root too respects that.
bool MayReplaceFile(const std::string& target) {
    struct stat info {};
    if (stat(target.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0 && access(target.c_str(), W_OK) == 0;
}

ReplaceResult WriteInPlaceOf(const std::string& target, const uint8_t* data, size_t size,
                             bool replace) {
    std::string temporary;
    const int fd = CreateBeside(target, temporary);
    if (fd < 0) {
        return ReplaceResult::NotCreated;
    }
    struct stat existing {};
    if (replace && stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        fchmod(fd, existing.st_mode & 07777);  // the old file's permissions carry over
    }
    bool written = WriteAll(fd, data, size) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    const ReplaceResult put =
        !written  ? ReplaceResult::NotWritten
        : replace ? (rename(temporary.c_str(), target.c_str()) == 0 ? ReplaceResult::Replaced
                                                                    : ReplaceResult::NotWritten)
                  : PutWhereNothingIs(temporary, target);
    if (put != ReplaceResult::Replaced) {
        unlink(temporary.c_str());
        return put;
    }
    SyncDirectoryOf(target);
    return ReplaceResult::Replaced;
}
