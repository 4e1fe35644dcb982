// zantir-cli's command line over any arguments: the input is split at its NUL bytes,
// each piece one argument, as a shell would hand them over. Applied over the default
// settings, a command line is either refused with a message, or taken with a command
// that --help describes, the arguments that command takes, and link values the engine
// may be given. A --port NAME only looks for a file of that name; nothing is written.
#include <algorithm>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "config/Baudrates.h"
#include "config/Configimage.h"
#include "connection/Settings.h"
#include "tests/fuzz/Fuzzcheck.h"

namespace {

std::vector<std::string> Arguments(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments;
    if (size == 0) {
        return arguments;
    }
    arguments.emplace_back();
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(static_cast<char>(data[i]));
        }
    }
    return arguments;
}

// The command as --help lists it: "  NAME" at the start of a line, then a blank.
bool Described(const std::string& command) {
    const std::string usage = UsageText;
    const std::string commands = usage.substr(usage.find("\nCOMMANDS\n"));
    return commands.find("\n  " + command + " ") != std::string::npos;
}

void CheckTaken(const CliOptions& options) {
    if (options.Help) {
        return;
    }
    FUZZ_CHECK(!options.Command.empty() && Described(options.Command));
    FUZZ_CHECK(options.Arguments.size() <= 2);
    if (options.Command == "diff") {
        FUZZ_CHECK(options.Arguments.size() == 2);
    }
    FUZZ_CHECK(!options.Force || options.Command == "read");
    FUZZ_CHECK(!options.TablesGiven || options.Command == "write");

    // Every value the options set is one the connection dialog would accept too.
    const ConnectionSettings& s = options.Settings;
    FUZZ_CHECK(ValueOutOfRange(s) == nullptr);
    FUZZ_CHECK(BaudCodeOf(s.BaudRate) >= 0);
    FUZZ_CHECK(s.PortNumber >= 1 && s.PortNumber <= 8);
    FUZZ_CHECK(s.LinkType == 0 || s.LinkType == 1 || s.LinkType == LinkTypeNetwork);
    // A network link has somewhere to go: a host and a port, or a port to listen on.
    if (s.LinkType == LinkTypeNetwork) {
        FUZZ_CHECK(options.Network.Port != 0);
        FUZZ_CHECK(options.Network.CallIn || !options.Network.Host.empty());
    }
    FUZZ_CHECK(s.PhoneNumber[PhoneNumberLength] == 0);

    // Some table is written, and only configuration tables are.
    bool any = false;
    for (size_t table = 0; table < options.Tables.size(); ++table) {
        FUZZ_CHECK(options.Tables[table] == 0 || IsConfigTable(static_cast<int>(table)));
        any = any || options.Tables[table] != 0;
    }
    FUZZ_CHECK(any);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> arguments = Arguments(data, size);
    CliOptions options;
    std::string error;
    const bool taken = ParseCommandLine(arguments, options, error);
    if (!taken) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    CheckTaken(options);

    // The same command line gives the same options again.
    CliOptions again;
    std::string againError;
    FUZZ_CHECK(ParseCommandLine(arguments, again, againError));
    FUZZ_CHECK(again.Command == options.Command && again.Arguments == options.Arguments &&
               again.PortPath == options.PortPath && again.Tables == options.Tables &&
               again.Retries == options.Retries && again.Help == options.Help);
    return 0;
}
