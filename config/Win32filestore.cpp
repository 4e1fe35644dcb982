// Whole small files on Windows: the Win32 file calls, and the new file moved over the old
// one in one step with MoveFileExW.
#include <windows.h>
// Win32 has a ReplaceFile of its own, a macro; this unit defines the program's.
#undef ReplaceFile

#include <algorithm>
#include <filesystem>

#include "config/Filestore.h"

namespace {

std::wstring Wide(const std::string& path) {
    return std::filesystem::path(path).wstring();
}

// A fresh file beside the target; INVALID_HANDLE_VALUE when none can be created.
HANDLE CreateBeside(const std::string& target, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = SaveTemporaryName(target, attempt);
        HANDLE handle = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return handle;
        }
    }
    return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE handle, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        DWORD put = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
        if (!WriteFile(handle, data + done, chunk, &put, nullptr) || put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

}  // namespace

// Neither a folder nor a device, nor marked read-only.
bool MayReplaceFile(const std::string& target) {
    const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    return (attributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool ReadFileStart(const std::string& path, uint8_t* buffer, size_t capacity, size_t& count) {
    count = 0;
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;  // a folder too: it opens only with backup semantics
    }
    // Only a file on a disk: a COM port, a pipe or a console is none.
    bool read = GetFileType(handle) == FILE_TYPE_DISK;
    while (read && count < capacity) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(capacity - count, 1u << 20));
        if (!ReadFile(handle, buffer + count, chunk, &got, nullptr)) {
            read = false;
        } else if (got == 0) {
            break;
        }
        count += got;
    }
    CloseHandle(handle);
    return read;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails where target is there, in the same step.
ReplaceResult WriteInPlaceOf(const std::string& target, const uint8_t* data, size_t size,
                             bool replace) {
    std::string temporary;
    HANDLE handle = CreateBeside(target, temporary);
    if (handle == INVALID_HANDLE_VALUE) {
        return ReplaceResult::NotCreated;
    }
    bool written = WriteAll(handle, data, size) && FlushFileBuffers(handle);
    written = CloseHandle(handle) && written;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!written || !MoveFileExW(Wide(temporary).c_str(), Wide(target).c_str(), flags)) {
        const DWORD error = written ? GetLastError() : ERROR_WRITE_FAULT;
        DeleteFileW(Wide(temporary).c_str());
        return !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                   ? ReplaceResult::Exists
                   : ReplaceResult::NotWritten;
    }
    return ReplaceResult::Replaced;
}
