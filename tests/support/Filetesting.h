#pragma once
// Files for the tests of the settings and configuration files: a scratch directory, raw
// file bytes, and a directory the test process really cannot write to (on Linux; elsewhere
// Writable() says that it still can, and the tests that need one skip).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>
#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace filetesting {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct ScratchDir {
    ScratchDir() {
        std::random_device seed;
        std::error_code error;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path = fs::temp_directory_path(error) / ("zantir-files-" + std::to_string(seed()));
            if (fs::create_directory(path, error)) {
                return;
            }
        }
        ADD_FAILURE() << "no scratch directory";
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
#ifdef __linux__
        if (syscall(SYS_capget, &header_, saved_) == 0) {
            __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
            lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
            dropped_ = syscall(SYS_capset, &header_, lowered) == 0;
        }
#endif
    }
    ~ReadOnlyDir() {
#ifdef __linux__
        if (dropped_) {
            syscall(SYS_capset, &header_, saved_);
        }
#endif
        fs::permissions(dir_, fs::perms::owner_all);
    }
    bool Writable() const {
        const auto probe = dir_ / "probe";
        std::error_code error;
        if (fs::exists(probe, error)) {
            return false;
        }
        const bool made = std::ofstream(probe).is_open();
        fs::remove(probe, error);
        return made;
    }

private:
    fs::path dir_;
#ifdef __linux__
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
#endif
};

}  // namespace filetesting
