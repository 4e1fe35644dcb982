#pragma once
// The program's directory: that of its own executable as it was started (a symlink
// placed in another folder makes that folder the program's directory). CONFIG, INI
// and PORTS lie beside it.
#include <string>

// Takes the first command-line argument.
void SetProgramPath(const char* argv0);
void SetProgramDirectory(const std::string& directory);
const std::string& ProgramDirectory();
