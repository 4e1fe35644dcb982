#include "link/Folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/support/Filetesting.h"

namespace {

namespace fs = std::filesystem;

constexpr FolderAccess None{};
constexpr FolderAccess Own{true, true, true};
constexpr FolderAccess OwnReadOnly{true, true, false};
constexpr FolderAccess Others{true, false, false};

struct FolderCase {
    const char* name;
    FolderAccess program;
    FolderAccess configFolder, iniFolder, portsFolder;  // beside the program
    bool superuser;
    const char* home;  // $HOME; the account's home is /account
    const char* xdgConfig;
    const char* xdgData;
    // Expected; "beside" for the three folders beside the program, /p.
    const char* config;
    const char* settings;
};

// The cases are written with POSIX roots; on Windows a root needs a drive to be absolute.
std::string Rooted(const std::string& path) {
#ifdef _WIN32
    if (!path.empty() && path.front() == '/') {
        return "C:" + path;
    }
#endif
    return path;
}

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.name;
}

class FolderRules : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderRules, ProgramFolderOnlyWhenItIsTheUsersOwn) {
    const FolderCase& c = GetParam();
    FolderFacts facts;
    facts.ProgramDirectory = Rooted("/p");
    facts.Program = c.program;
    facts.Beside = {c.configFolder, c.iniFolder, c.portsFolder};
    facts.Superuser = c.superuser;
    facts.Home = Rooted(c.home);
    facts.AccountHome = Rooted("/account");
    facts.XdgConfigHome = Rooted(c.xdgConfig);
    facts.XdgDataHome = Rooted(c.xdgData);
    const ProgramFolders folders = DecideFolders(facts);
    const bool beside = std::string(c.config) == "beside";
    EXPECT_EQ(folders.BesideProgram, beside);
    EXPECT_EQ(fs::path(folders.Config), fs::path(Rooted(beside ? "/p/CONFIG" : c.config)));
    EXPECT_EQ(fs::path(folders.Settings), fs::path(Rooted(beside ? "/p/INI" : c.settings)));
    EXPECT_EQ(fs::path(folders.Ports), beside ? fs::path(Rooted("/p/PORTS"))
                                              : fs::path(folders.Settings).parent_path() / "PORTS");
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FolderRules,
    testing::Values(
        FolderCase{"writable", Own, None, None, None, false, "/h", "/xc", "/xd", "beside", ""},
        FolderCase{"readOnly", OwnReadOnly, None, None, None, false, "/h", "", "",
                   "/h/.local/share/zantir/CONFIG", "/h/.config/zantir/INI"},
        FolderCase{"readOnlyWithXdg", OwnReadOnly, None, None, None, false, "/h", "/xc", "/xd",
                   "/xd/zantir/CONFIG", "/xc/zantir/INI"},
        // A relative XDG variable is invalid and ignored; so is a relative HOME.
        FolderCase{"relativeXdg", OwnReadOnly, None, None, None, false, "/h", "conf", "data",
                   "/h/.local/share/zantir/CONFIG", "/h/.config/zantir/INI"},
        FolderCase{"relativeHome", OwnReadOnly, None, None, None, false, "h", "", "",
                   "/account/.local/share/zantir/CONFIG", "/account/.config/zantir/INI"},
        FolderCase{"noHome", OwnReadOnly, None, None, None, false, "", "", "/xd",
                   "/xd/zantir/CONFIG", "/account/.config/zantir/INI"},
        FolderCase{"readOnlyHoldingConfig", OwnReadOnly, Own, None, None, false, "/h", "", "",
                   "beside", ""},
        FolderCase{"readOnlyHoldingIni", Others, None, Own, None, false, "/h", "/xc", "", "beside",
                   ""},
        FolderCase{"holdingPorts", Others, None, None, Own, true, "/h", "", "", "beside", ""},
        // Another user's folder, or a folder root made (an installed program): theirs.
        FolderCase{"othersFolder", Others, None, None, None, false, "/h", "", "",
                   "/h/.local/share/zantir/CONFIG", "/h/.config/zantir/INI"},
        FolderCase{"othersIni", Others, Others, Others, None, false, "/h", "", "",
                   "/h/.local/share/zantir/CONFIG", "/h/.config/zantir/INI"},
        FolderCase{"ownButReadOnlyIni", Others, None, OwnReadOnly, None, false, "/h", "", "",
                   "/h/.local/share/zantir/CONFIG", "/h/.config/zantir/INI"},
        // sudo in /usr/bin: root owns it, but it is no folder of root's settings.
        FolderCase{"rootInSystemFolder", Own, None, None, None, true, "/root", "", "",
                   "/root/.local/share/zantir/CONFIG", "/root/.config/zantir/INI"},
        FolderCase{"rootInUsersFolder", Others, Others, Others, Others, true, "/root", "", "",
                   "/root/.local/share/zantir/CONFIG", "/root/.config/zantir/INI"},
        FolderCase{"rootHoldingItsIni", Own, None, Own, None, true, "/root", "", "", "beside", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The facts as the system gives them for a real folder; nothing is made on the way.
TEST(FolderFacts, OwnerAndFoldersBesideTheProgramAreRead) {
    filetesting::ScratchDir root;
    const fs::path bin = root.path / "bin";
    fs::create_directories(bin / "INI");
    const UserFolders user{(root.path / "home").string(), "", "", ""};
    FolderFacts facts = GatherFolderFacts(bin.string(), user);
    EXPECT_TRUE(facts.Program.Exists && facts.Program.Own && facts.Program.Writable);
    EXPECT_FALSE(facts.Beside[0].Exists);
    EXPECT_TRUE(facts.Beside[1].Exists && facts.Beside[1].Own && facts.Beside[1].Writable);
    EXPECT_EQ(DecideFolders(facts).Settings, (bin / "INI").string());
    EXPECT_EQ(root.Names(), std::vector<std::string>{"bin"});
    EXPECT_TRUE(fs::is_empty(bin / "INI"));  // the probe leaves nothing
#ifndef _WIN32
    if (geteuid() != 0) {
        return;
    }
    // Root running a copy in another user's folder keeps out of it.
    constexpr uid_t Nobody = 65534;
    ASSERT_EQ(chown(bin.c_str(), Nobody, Nobody), 0);
    ASSERT_EQ(chown((bin / "INI").c_str(), Nobody, Nobody), 0);
    facts = GatherFolderFacts(bin.string(), user);
    EXPECT_TRUE(facts.Superuser);
    EXPECT_FALSE(facts.Program.Own || facts.Beside[1].Own);
    EXPECT_EQ(DecideFolders(facts).Settings, (root.path / "home/.config/zantir/INI").string());
#endif
}

}  // namespace
