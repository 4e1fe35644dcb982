#include "link/Programdir.h"

#include <filesystem>
#include <system_error>

namespace {

std::string& Directory() {
    static std::string directory;
    return directory;
}

std::string DirectoryOfRunningExecutable() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return ".";
    }
    return exe.parent_path().string();
}

}  // namespace

void SetProgramPath(const char* argv0) {
    const std::string path = argv0 ? argv0 : "";
    if (path.find('/') == std::string::npos) {
        // Found through PATH: only the kernel knows where it lies.
        SetProgramDirectory(DirectoryOfRunningExecutable());
        return;
    }
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    SetProgramDirectory(error ? std::string(".") : absolute.parent_path().string());
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
