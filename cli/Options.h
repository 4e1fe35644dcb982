#pragma once
// The command line of zantir-cli: link options over the settings file, the command and
// its arguments.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/Devicetables.h"
#include "connection/Netsettings.h"
#include "connection/Settings.h"
#include "link/Exchangetrace.h"

// What the process tells its caller.
enum ExitCodes : int {
    ExitOk = 0,
    ExitDevice = 1,  // the device or the line failed, or the device was refused
    ExitUsage = 2,
    ExitFile = 3,  // a file could not be read or written, or is no configuration file
};

struct CliOptions {
    ConnectionSettings Settings;  // the settings file with the link options applied
    std::string PortPath;         // --port PATH; empty for COMn
    NetworkSettings Network;      // --tcp, --rfc2217, --listen over the network file
    int Retries = -1;             // -1: not given (ask on a terminal, else "no")
    bool Json = false;
    bool Rs485 = false;
    bool Help = false;
    bool Force = false;     // --force: read may replace a FILE that is there
    bool DryRun = false;    // --dry-run: write-changed prints the changes, writes nothing
    bool NoVerify = false;  // --no-verify: no read back after a write
    bool TablesGiven = false;
    std::array<uint8_t, TableCount> Tables{};  // --tables, 1 for each chosen table
    std::string Command;
    std::vector<std::string> Arguments;
    std::string TracePath;           // --trace: text lines; "-" is stderr
    std::string TraceJsonPath;       // --trace-json: JSON lines
    ExchangeTrace* Trace = nullptr;  // the open trace files of this run
};

// Applies the arguments (without the program name) over options, whose Settings hold
// the settings file. False with a message on a wrong command line.
bool ParseCommandLine(const std::vector<std::string>& arguments, CliOptions& options,
                      std::string& error);

// The text of --help.
extern const char UsageText[];
