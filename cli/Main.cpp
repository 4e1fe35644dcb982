// zantir-cli: the device work of the program from a terminal, for scripts and SSH.
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Terminal.h"
#include "connection/Settings.h"
#include "link/Programdir.h"
#include "link/System.h"

namespace {

// A result that did not reach stdout (a full disk, a closed pipe, a stream closed from the
// start) is no success.
int WithResultWritten(int status, bool outputClosed) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        return status;
    }
    const int error = errno;
    if (outputClosed) {
        std::fputs("zantir-cli: standard output is closed: the result is lost\n", stderr);
    } else {
        std::fprintf(stderr, "zantir-cli: the result could not be written to standard output: %s\n",
                     std::strerror(error));
    }
    return status == ExitOk ? ExitFile : status;
}

}  // namespace

int main(int argc, char** argv) {
    const ClosedStandardStreams closed = TakeClosedStandardDescriptors();
#ifdef SIGPIPE
    // A reader that went away is a write error, told as such, not the end of a command that
    // may be half way through writing the device's tables.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::setlocale(LC_NUMERIC, "C");
    UseUtf8Console();
    SetProgramPath(argv[0]);
    CliOptions options;
    LoadLinkSettings(options.Settings, options.Network);  // defaults when the files are missing
    std::string error;
    if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zantir-cli: %s\n\n%s", error.c_str(), UsageText);
        return ExitUsage;
    }
    if (options.Help) {
        std::fputs(UsageText, stdout);
        return WithResultWritten(ExitOk, closed.Output);
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
    return WithResultWritten(RunCommand(options, ui), closed.Output);
}
