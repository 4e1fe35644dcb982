#include "link/Folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Filetesting.h"

namespace {

namespace fs = std::filesystem;

struct FolderCase {
    const char* name;
    bool programWritable;
    const char* existing;   // a folder already beside the program, or null
    const char* xdgConfig;  // relative to the scratch folder; "" unset, "=x" as given
    const char* xdgData;
    // Expected, relative to the scratch folder ("bin" is the program's folder).
    const char* config;
    const char* settings;
    const char* ports;
};

std::string Given(const fs::path& root, const char* value) {
    const std::string text = value;
    if (text.empty()) {
        return {};
    }
    return text[0] == '=' ? text.substr(1) : (root / text).string();
}

class FolderRules : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderRules, FollowTheProgramFolderElseTheUsersOwn) {
    const FolderCase& c = GetParam();
    filetesting::ScratchDir root;
    fs::create_directories(root.path / "bin");
    if (c.existing) {
        fs::create_directory(root.path / "bin" / c.existing);
    }
    std::unique_ptr<filetesting::ReadOnlyDir> locked;
    if (!c.programWritable) {
        locked = std::make_unique<filetesting::ReadOnlyDir>(root.path / "bin");
        if (locked->Writable()) {
            GTEST_SKIP() << "this process cannot give up writing to a folder";
        }
    }
    const ProgramFolders folders =
        DecideFolders({(root.path / "bin").string(), (root.path / "home").string(),
                       Given(root.path, c.xdgConfig), Given(root.path, c.xdgData)});
    EXPECT_EQ(fs::path(folders.Config), root.path / c.config);
    EXPECT_EQ(fs::path(folders.Settings), root.path / c.settings);
    EXPECT_EQ(fs::path(folders.Ports), root.path / c.ports);
    EXPECT_EQ(folders.BesideProgram, std::string(c.config) == "bin/CONFIG");
    EXPECT_EQ(root.Names(), std::vector<std::string>{"bin"});  // nothing made on the way
    if (c.existing == nullptr) {
        EXPECT_TRUE(fs::is_empty(root.path / "bin"));  // the probe leaves nothing
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FolderRules,
    testing::Values(FolderCase{"writable", true, nullptr, "xdg-config", "xdg-data", "bin/CONFIG",
                               "bin/INI", "bin/PORTS"},
                    FolderCase{"readOnly", false, nullptr, "", "",
                               "home/.local/share/zantir/CONFIG", "home/.config/zantir/INI",
                               "home/.config/zantir/PORTS"},
                    FolderCase{"readOnlyWithXdg", false, nullptr, "xdg-config", "xdg-data",
                               "xdg-data/zantir/CONFIG", "xdg-config/zantir/INI",
                               "xdg-config/zantir/PORTS"},
                    // A relative XDG variable is invalid and ignored.
                    FolderCase{"readOnlyWithRelativeXdg", false, nullptr, "=conf", "=data",
                               "home/.local/share/zantir/CONFIG", "home/.config/zantir/INI",
                               "home/.config/zantir/PORTS"},
                    FolderCase{"readOnlyHoldingConfig", false, "CONFIG", "", "", "bin/CONFIG",
                               "bin/INI", "bin/PORTS"},
                    FolderCase{"readOnlyHoldingIni", false, "INI", "xdg-config", "", "bin/CONFIG",
                               "bin/INI", "bin/PORTS"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
