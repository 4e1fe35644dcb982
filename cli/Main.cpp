// zantir-cli: the device work of the program from a terminal, for scripts and SSH.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Terminal.h"
#include "connection/Settings.h"
#include "link/Programdir.h"
#include "link/System.h"

int main(int argc, char** argv) {
    std::setlocale(LC_NUMERIC, "C");
    UseUtf8Console();
    SetProgramPath(argv[0]);
    CliOptions options;
    LoadSettings(options.Settings);  // defaults when the file is missing
    std::string error;
    if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zantir-cli: %s\n\n%s", error.c_str(), UsageText);
        return ExitUsage;
    }
    if (options.Help) {
        std::fputs(UsageText, stdout);
        return ExitOk;
    }
    // A value the settings file holds out of its range is never handed to the engine.
    if (const LinkValueLimit* bad = ValueOutOfRange(options.Settings)) {
        std::fprintf(stderr, "zantir-cli: %s %d is outside %d..%d (%s or the option)\n",
                     bad->Option, static_cast<int>(LinkValueIn(options.Settings, bad->Value)),
                     static_cast<int>(bad->Lowest), static_cast<int>(bad->Highest),
                     SettingsFilePath().c_str());
        return ExitUsage;
    }
    Terminal ui(options.Retries, IsInteractive());
    const int status = RunCommand(options, ui);
    // A result that did not reach stdout (a full disk, a closed pipe) is no success.
    if (std::fflush(stdout) != 0 && status == ExitOk) {
        return ExitFile;
    }
    return status;
}
