// The program's folder is a clean path however the program was started.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/Programdir.h"

namespace {

namespace fs = std::filesystem;

TEST(ProgramFolder, DotsAndLinkedFoldersAreResolved) {
    char pattern[] = "/tmp/zantir-programdir-XXXXXX";
    const fs::path root = fs::canonical(mkdtemp(pattern));
    fs::create_directories(root / "bin" / "sub");
    fs::create_directory_symlink(root / "bin", root / "alias");
    const fs::path kept = fs::current_path();
    fs::current_path(root / "bin" / "sub");
    const std::string expected = (root / "bin").string();
    for (const std::string& started : std::vector<std::string>{
             "../zantir", "./../zantir", "../../bin/./zantir", (root / "alias" / "zantir").string(),
             (root / "bin" / "sub" / ".." / "zantir").string()}) {
        SetProgramPath(started.c_str());
        EXPECT_EQ(ProgramDirectory(), expected) << started;
    }
    fs::current_path(root / "bin");
    SetProgramPath("./zantir");
    EXPECT_EQ(ProgramDirectory(), expected);
    fs::current_path(kept);
    fs::remove_all(root);
}

}  // namespace
