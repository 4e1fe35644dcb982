#pragma once
// What the fuzz targets share: the entry point that libFuzzer (or the replay driver)
// calls, an invariant check that aborts so that the input is kept as a finding, and an
// in-memory file for the readers that take a path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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
