#include "link/Programdir.h"

#include <filesystem>
#include <system_error>

#include "link/System.h"

namespace {

std::string& Directory() {
    static std::string directory;
    return directory;
}

std::string DirectoryOfRunningExecutable() {
    const std::string exe = RunningExecutable();
    return exe.empty() ? "." : std::filesystem::path(exe).parent_path().string();
}

}  // namespace

void SetProgramPath(const char* argv0) {
    const std::string path = argv0 ? argv0 : "";
    if (!std::filesystem::path(path).has_parent_path()) {
        // Found through PATH: only the system knows where it lies.
        SetProgramDirectory(DirectoryOfRunningExecutable());
        return;
    }
    // The folder the program was started from, "." and ".." and linked folders resolved,
    // so that every path built on it is clean. The program itself may be a link placed in
    // its folder: that folder is its own.
    std::error_code error;
    const auto folder = std::filesystem::absolute(path, error).parent_path();
    auto canonical = std::filesystem::canonical(folder, error);
    SetProgramDirectory(error ? folder.lexically_normal().string() : canonical.string());
}

void SetProgramDirectory(const std::string& directory) {
    Directory() = directory;
}

const std::string& ProgramDirectory() {
    if (Directory().empty()) {
        Directory() = DirectoryOfRunningExecutable();
    }
    return Directory();
}
