#pragma once
// Where the program keeps its configuration files (CONFIG), its settings (INI) and its
// port links (PORTS): beside the program when that folder is the user's own, or already
// holds CONFIG, INI or PORTS of the user's own; otherwise, as for a program installed
// where its user may not write (or shares with other users), in the user's folders by the
// XDG base-directory rules.
#include <array>
#include <string>

#include "link/System.h"

struct ProgramFolders {
    std::string Config;    // .cnf files
    std::string Settings;  // holds zantir.ini
    std::string Ports;     // COMn links
    bool BesideProgram = true;
};

// What the decision looks at; empty strings for variables that are not set.
struct FolderFacts {
    std::string ProgramDirectory;
    FolderAccess Program;
    std::array<FolderAccess, 3> Beside;  // CONFIG, INI and PORTS in the program's folder
    bool Superuser = false;
    std::string Home;  // $HOME
    std::string AccountHome;
    std::string XdgConfigHome;
    std::string XdgDataHome;
};

FolderFacts GatherFolderFacts(const std::string& programDirectory, const UserFolders& user);
ProgramFolders DecideFolders(const FolderFacts& facts);
// This process's folders: from its program directory and environment, decided once for
// each program directory.
const ProgramFolders& Folders();
// Where the main window's journal is kept, a file a day: "journal" in the folder that
// holds CONFIG.
std::string JournalDirectory();
