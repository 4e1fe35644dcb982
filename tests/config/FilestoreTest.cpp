// The file store on every platform: the new file replaces the old in one step, a file that
// may not be replaced stays, and nothing is left behind.
#include "config/Filestore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Filetesting.h"

namespace {

using namespace filetesting;

struct ReplaceCase {
    const char* name;
    bool existing;
    bool readOnly;
    bool directory;
    ReplaceResult expected;
};

class Replacing : public testing::TestWithParam<ReplaceCase> {};

TEST_P(Replacing, PutsTheNewFileInPlaceOrLeavesTheOldOne) {
    const ReplaceCase& c = GetParam();
    ScratchDir dir;
    const std::string target = dir / "zantir.ini";
    if (c.directory) {
        fs::create_directory(target);
    } else if (c.existing) {
        WriteBytes(target, Pattern(300, 1));
    }
    if (c.readOnly) {
        fs::permissions(target,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    const Bytes fresh = Pattern(286, 9);
    EXPECT_EQ(ReplaceFile(target, fresh.data(), fresh.size()), c.expected);
    if (c.expected == ReplaceResult::Replaced) {
        EXPECT_EQ(ReadBytes(target), fresh);
    } else if (c.existing && !c.directory) {
        EXPECT_EQ(ReadBytes(target), Pattern(300, 1));
    }
    if (c.readOnly) {
        fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"zantir.ini"});  // no temporary left
}

INSTANTIATE_TEST_SUITE_P(
    Targets, Replacing,
    testing::Values(ReplaceCase{"new", false, false, false, ReplaceResult::Replaced},
                    ReplaceCase{"existing", true, false, false, ReplaceResult::Replaced},
                    ReplaceCase{"readOnly", true, true, false, ReplaceResult::NotCreated},
                    ReplaceCase{"directory", false, false, true, ReplaceResult::NotCreated}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileStore, ReadsTheStartOfAFileAndOnlyOfAFile) {
    ScratchDir dir;
    const Bytes file = Pattern(1247, 3);
    WriteBytes(dir / "a.cnf", file);
    std::vector<uint8_t> buffer(2000, 0);
    size_t count = 0;
    ASSERT_TRUE(ReadFileStart(dir / "a.cnf", buffer.data(), 100, count));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(count)),
              Bytes(file.begin(), file.begin() + 100));
    ASSERT_TRUE(ReadFileStart(dir / "a.cnf", buffer.data(), buffer.size(), count));
    EXPECT_EQ(count, file.size());
    EXPECT_FALSE(ReadFileStart(dir / "missing.cnf", buffer.data(), buffer.size(), count));
    EXPECT_FALSE(ReadFileStart(dir.path.string(), buffer.data(), buffer.size(), count));
}

TEST(FileStore, ASaveClearsOnlyItsOwnOldTemporaries) {
    ScratchDir dir;
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
    for (const char* name :
         {"a.cnf.zantir-12-0.tmp", "a.cnf.zantir-13-1.tmp", "keep.tmp", "a.cnf.zantir-x-1.tmp"}) {
        WriteBytes(dir / name, Pattern(10, 1));
        fs::last_write_time(dir / name, old);
    }
    WriteBytes(dir / "b.cnf.zantir-14-0.tmp", Pattern(10, 1));  // a save under way now
    const Bytes fresh = Pattern(50, 2);
    ASSERT_EQ(ReplaceFile(dir / "a.cnf", fresh.data(), fresh.size()), ReplaceResult::Replaced);
    std::vector<std::string> names = dir.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.cnf", "a.cnf.zantir-x-1.tmp",
                                               "b.cnf.zantir-14-0.tmp", "keep.tmp"}));
}

}  // namespace
