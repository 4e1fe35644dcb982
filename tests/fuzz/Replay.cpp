// The fuzz targets as ordinary test programs: every file of the folders named on the
// command line (the target's seed corpus and its regressions) goes through
// LLVMFuzzerTestOneInput once. A broken invariant or a sanitizer finding ends the run
// with the input's name as the last line written.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/Fuzzcheck.h"

namespace fs = std::filesystem;

namespace {

// The inputs under one argument, in name order; dot files (.keep) are none. False when the
// argument names nothing.
bool CollectInputs(const fs::path& argument, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_regular_file(argument, error)) {
        inputs.push_back(argument);
        return true;
    }
    if (!fs::is_directory(argument, error)) {
        return false;
    }
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(argument, error)) {
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return !error;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!CollectInputs(argv[i], inputs)) {
            std::fprintf(stderr, "%s: no such file or folder: %s\n", argv[0], argv[i]);
            return 2;
        }
    }
    // A target whose corpus went missing would pass without testing anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "%s: no inputs to replay\n", argv[0]);
        return 2;
    }
    for (const fs::path& input : inputs) {
        std::fprintf(stderr, "%s\n", input.c_str());
        std::ifstream in(input, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], input.c_str());
            return 2;
        }
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        // As under libFuzzer, an empty input still comes with a valid pointer.
        static const uint8_t nothing = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &nothing : bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
