#pragma once
// What the fuzz targets share: the entry point that libFuzzer (or the replay driver)
// calls, an invariant check that aborts so that the input is kept as a finding, an
// in-memory file for the readers that take a path, and a scratch folder for those that
// need files with names.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Not assert(): the checks hold in release builds too.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A regular file that lives in memory only: no disk traffic per input, and nothing left
// behind when a finding kills the process. Its path is the descriptor's /proc entry.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("zantir-fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // The file holds exactly these bytes afterwards.
    void Put(const uint8_t* data, size_t size) {
        FUZZ_CHECK(ftruncate(fd_, 0) == 0);
        size_t done = 0;
        while (done < size) {
            const ssize_t put = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            FUZZ_CHECK(put > 0);
            done += static_cast<size_t>(put);
        }
    }
    const std::string& Path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

// A folder of this process, on tmpfs where there is one: /dev/shm/zantir-fuzz-<target>-<pid>.
// A finding aborts the process and leaves its folder behind; the next process of the
// target removes the folders of processes that are gone.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& target) {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path base = fs::is_directory("/dev/shm", error) ? "/dev/shm" : "/tmp";
        const std::string prefix = "zantir-fuzz-" + target + "-";
        std::vector<fs::path> gone;
        for (const auto& entry : fs::directory_iterator(base, error)) {
            const std::string name = entry.path().filename().string();
            const std::string digits = name.substr(std::min(name.size(), prefix.size()));
            if (name.rfind(prefix, 0) == 0 && !digits.empty() && digits.size() <= 9 &&
                digits.find_first_not_of("0123456789") == std::string::npos &&
                kill(static_cast<pid_t>(std::stol(digits)), 0) != 0 && errno == ESRCH) {
                gone.push_back(entry.path());
            }
        }
        for (const fs::path& folder : gone) {
            fs::remove_all(folder, error);
        }
        path_ = base / (prefix + std::to_string(getpid()));
        fs::remove_all(path_, error);  // an earlier process's that had this id
        if (!fs::create_directory(path_, error)) {
            std::fprintf(stderr, "cannot make the scratch folder %s: %s\n", path_.c_str(),
                         error.message().c_str());
            std::abort();
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};
