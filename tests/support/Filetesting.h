#pragma once
// Files for the tests of the settings and configuration files: a scratch directory, raw
// file bytes, and a directory the test process really cannot write to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace filetesting {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct ScratchDir {
    ScratchDir() {
        char pattern[] = "/tmp/zantir-files-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        path = made ? made : "/nonexistent";
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, ignored);
        fs::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
    fs::path path;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that differ from each of their neighbours and from zero.
inline Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>((i * 7 + seed) % 251 + 1);
    }
    return bytes;
}

// Takes write permission from a directory. Root ignores permissions, so while this lives
// the process also lays down its right to override them (it keeps the right to take it
// back). Writable() tells whether the directory is still writable after all.
class ReadOnlyDir {
public:
    explicit ReadOnlyDir(const fs::path& dir) : dir_(dir) {
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        if (syscall(SYS_capget, &header_, saved_) == 0) {
            __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
            lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
            dropped_ = syscall(SYS_capset, &header_, lowered) == 0;
        }
    }
    ~ReadOnlyDir() {
        if (dropped_) {
            syscall(SYS_capset, &header_, saved_);
        }
        fs::permissions(dir_, fs::perms::owner_all);
    }
    bool Writable() const {
        const auto probe = dir_ / "probe";
        const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) {
            return false;
        }
        close(fd);
        unlink(probe.c_str());
        return true;
    }

private:
    fs::path dir_;
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

}  // namespace filetesting
