#include "config/Filestore.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "link/System.h"

namespace {

constexpr char TemporaryMark[] = ".zantir-";
constexpr char TemporaryEnd[] = ".tmp";

}  // namespace

std::string ResolvedSaveTarget(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) {
        return path;
    }
    const auto target = std::filesystem::canonical(path, error);
    return error ? path : target.string();
}

std::string SaveTemporaryName(const std::string& target, int attempt) {
    return target + TemporaryMark + std::to_string(ProcessId()) + "-" + std::to_string(attempt) +
           TemporaryEnd;
}

namespace {

void RemoveStaleTemporariesBeside(const std::string& target) {
    const auto folder = std::filesystem::path(target).parent_path();
    RemoveStaleTemporaries(folder.empty() ? "." : folder.string());
}

}  // namespace

ReplaceResult ReplaceFile(const std::string& path, const uint8_t* data, size_t size) {
    const std::string target = ResolvedSaveTarget(path);
    if (!MayReplaceFile(target)) {
        return ReplaceResult::NotCreated;
    }
    RemoveStaleTemporariesBeside(target);
    return WriteInPlaceOf(target, data, size, true);
}

ReplaceResult CreateNewFile(const std::string& path, const uint8_t* data, size_t size) {
    if (NameTaken(path)) {
        return ReplaceResult::Exists;
    }
    RemoveStaleTemporariesBeside(path);
    return WriteInPlaceOf(path, data, size, false);
}

bool NameTaken(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    // A name that cannot be looked at (no right to the folder) is not taken for free.
    return status.type() != std::filesystem::file_type::not_found;
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
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(directory, error), last; !error && it != last;
         it.increment(error)) {
        std::error_code entryError;
        // Only regular files, never through a link, and only when surely old.
        if (!IsSaveTemporary(it->path().filename().string()) ||
            !fs::is_regular_file(fs::symlink_status(it->path(), entryError))) {
            continue;
        }
        const auto changed = fs::last_write_time(it->path(), entryError);
        if (entryError || now - changed < std::chrono::seconds(StaleTemporaryAge)) {
            continue;
        }
        if (fs::remove(it->path(), entryError)) {
            ++removed;
        }
    }
    return removed;
}
