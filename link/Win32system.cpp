#include <windows.h>

#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "link/System.h"

namespace fs = std::filesystem;

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

// Handles, not descriptors, reach the ports and files here: nothing can land on a standard
// descriptor. Only what is missing is told.
ClosedStandardStreams TakeClosedStandardDescriptors() {
    ClosedStandardStreams closed;
    closed.Input = _get_osfhandle(0) < 0;
    closed.Output = _get_osfhandle(1) < 0;
    closed.Error = _get_osfhandle(2) < 0;
    return closed;
}

long ProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

std::tm LocalTime(std::time_t moment) {
    std::tm local{};
    localtime_s(&local, &moment);
    return local;
}

std::string RunningExecutable() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return {};
        }
        if (length < name.size()) {
            return fs::path(std::wstring(name.data(), length)).string();
        }
        name.resize(name.size() * 2);
    }
}

bool CanCreateFileIn(const std::string& folder) {
    const fs::path probe = fs::path(folder) / (".zantir-probe-" + std::to_string(ProcessId()));
    HANDLE handle = CreateFileW(probe.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

UserFolders CurrentUserFolders() {
    const std::string appData = Variable("APPDATA");
    return {Variable("USERPROFILE"), appData, appData, ""};
}

bool StandardStreamsInteractive() {
    return _isatty(_fileno(stdin)) && _isatty(_fileno(stderr));
}

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

FolderAccess FolderAccessOf(const std::string& folder) {
    FolderAccess access;
    std::error_code error;
    access.Exists = fs::is_directory(folder, error);
    // Windows decides by the folder's access list alone: a folder the user may write is theirs.
    access.Writable = access.Exists && CanCreateFileIn(folder);
    access.Own = access.Writable;
    return access;
}

bool RunningAsSuperuser() {
    return false;
}

std::FILE* OpenToRecord(const std::string& path, std::string& error) {
    // Appending opens without emptying; the only pipes are named ones, which never wait here.
    std::FILE* file = _wfopen(fs::path(path).wstring().c_str(), L"ab");
    if (!file) {
        error = "cannot be opened";
    }
    return file;
}

bool EmptyIfRegularFile(std::FILE* file) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    return GetFileType(handle) != FILE_TYPE_DISK || _chsize_s(_fileno(file), 0) == 0;
}

bool SameExistingFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const bool same = fs::equivalent(a, b, error);
    return same && !error;
}
