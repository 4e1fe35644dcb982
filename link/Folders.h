#pragma once
// Where the program keeps its configuration files (CONFIG), its settings (INI) and its
// port links (PORTS): beside the program when its folder is writable or already holds
// CONFIG or INI; otherwise, as for a program installed where its user may not write, in
// the user's folders by the XDG base-directory rules.
#include <string>

struct ProgramFolders {
    std::string Config;    // .cnf files
    std::string Settings;  // holds zantir.ini
    std::string Ports;     // COMn links
    bool BesideProgram = true;
};

// What the decision looks at; empty strings for variables that are not set.
struct FolderEnvironment {
    std::string ProgramDirectory;
    std::string Home;
    std::string XdgConfigHome;
    std::string XdgDataHome;
};

ProgramFolders DecideFolders(const FolderEnvironment& environment);
// This process's folders: from its program directory and environment, decided once for
// each program directory.
const ProgramFolders& Folders();
