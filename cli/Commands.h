#pragma once
// The commands of zantir-cli. Each returns the process's exit status and has said what
// went wrong on the terminal.
#include "cli/Options.h"
#include "cli/Terminal.h"

int RunCommand(const CliOptions& options, Terminal& ui);
