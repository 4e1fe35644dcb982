#include "cli/Options.h"

#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "config/Baudrates.h"
#include "config/Codepage.h"
#include "config/Configimage.h"
#include "link/Comportfunctions.h"
#include "link/Nettransport.h"

const char UsageText[] =
    "usage: zantir-cli [LINK OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "Service of the ZANTIR zrt16-mk device from a terminal. Status texts go to stderr,\n"
    "results to stdout.\n"
    "\n"
    "LINK OPTIONS (default: the settings file INI/zantir.ini, see where)\n"
    "  --port COMn|PATH|NAME  serial port (COMn is the link PORTS/COMn, see where,\n"
    "                         else /dev/ttyS<n-1>; NAME is a name in /dev/serial/by-id\n"
    "                         or /dev, such as ttyUSB0)\n"
    "  --rate BPS             one of the 22 device rates\n"
    "  --preambles N          preambles before a request (0..255)\n"
    "  --attempts N           exchange attempts per request (1..5)\n"
    "  --first-byte-timeout S wait for the first response byte (1..120 s)\n"
    "  --next-byte-timeout MS longest gap between response bytes (55..5000 ms)\n"
    "  --rts-pause MS         pause after raising RTS (2..1000 ms)\n"
    "  --phone \"CC CITY NUMBER\"\n"
    "                         dial through a modem first, hang up when done\n"
    "  --modem-command TEXT   modem set-up commands, separated by '^'\n"
    "  --connect-wait S       wait for each modem reply (1..360 s)\n"
    "  --connect-attempts N   dial attempts (1..10)\n"
    "  --direct               a direct line even where the settings file says modem\n"
    "  --rs485                the driver's RS-485 mode: the UART switches RTS itself\n"
    "  --tcp HOST:PORT        the device behind a serial device server (ser2net, an\n"
    "                         Ethernet converter in TCP server mode) or a GSM/4G terminal,\n"
    "                         raw TCP; IPv6 as [ADDRESS]:PORT\n"
    "  --rfc2217 HOST:PORT    the same through telnet COM port control (RFC 2217): the\n"
    "                         program sets the server's rate\n"
    "  --listen PORT          wait for a terminal that calls in on this TCP port, then\n"
    "                         talk to the device through it\n"
    "  --retries N            answer the retry question \"yes\" N times, then \"no\"\n"
    "                         (default 0; on a terminal without --retries, ask)\n"
    "  --json                 JSON on stdout for ident, state, show, diff, ports and where,\n"
    "                         and what became of each request of write and write-changed\n"
    "  --trace FILE           every frame, byte run and line change, timed and decoded,\n"
    "                         one line each, into FILE (- for stderr)\n"
    "  --trace-json FILE      the same as JSON lines\n"
    "                         A trace FILE may not be a file the command reads or writes\n"
    "                         (nor the other trace); a FIFO needs a reader already. A\n"
    "                         trace that cannot be written all through gives status 3.\n"
    "\n"
    "COMMANDS\n"
    "  ident                  print the identification as the identification view shows it\n"
    "  state                  print which configuration tables the device reports destroyed\n"
    "  read [FILE] [--force]  read the whole configuration and save it as a .cnf file;\n"
    "                         a FILE that is there is replaced only with --force, and\n"
    "                         refused before the device is read. FILE may be a directory,\n"
    "                         without FILE the CONFIG folder (see where): a new file of the\n"
    "                         default name zrt16-mk<version>-<yymmdd>-<hhmm>.cnf, with the\n"
    "                         seconds and then -2, -3, ... where that name is taken\n"
    "  write FILE [--tables 3,5,6]\n"
    "                         write the chosen tables (default: every configuration\n"
    "                         table) from a .cnf file, then read the identification again\n"
    "                         and every table back: a field the device holds otherwise\n"
    "                         fails the write (--no-verify: no read back)\n"
    "  write-changed FILE [--dry-run] [--no-verify]\n"
    "                         write only what differs between the device and the file;\n"
    "                         the configuration read first is kept in CONFIG/history,\n"
    "                         and what was written is read back as for write. --dry-run\n"
    "                         prints the changes (as diff does) and writes nothing\n"
    "  show FILE              print a .cnf file: link parameters, modem string and every\n"
    "                         connected flow computer (address, port, rate)\n"
    "  diff A B               compare two configurations (files, or \"device\") field by field\n"
    "                         Every whole read of the device is kept in CONFIG/history\n"
    "                         when it differs from the newest kept (index.csv lists them)\n"
    "  search                 find the rate at which the device answers (21 rates, 600 up)\n"
    "  ports                  list COM1..COM8 with where each leads, then the serial ports\n"
    "                         found that none of them reaches\n"
    "  where                  print the folders of configuration files (CONFIG), settings\n"
    "                         (INI) and port links (PORTS): beside the executable when it\n"
    "                         may write there, else ~/.local/share/zantir, ~/.config/zantir\n"
    "  save-settings          store the link settings in effect (the settings file with\n"
    "                         the link options over it) as the settings file\n"
    "\n"
    "EXIT STATUS\n"
    "  0 success; 1 the device or line failed, or the device was refused; 2 wrong usage;\n"
    "  3 a file could not be read or written (a trace too), is there already (read without\n"
    "  --force) or is not a configuration file\n";

namespace {

// Commands and how many arguments each takes.
const std::map<std::string, size_t> Commands = {
    {"ident", 0}, {"state", 0},  {"read", 1},  {"write", 1}, {"write-changed", 1}, {"show", 1},
    {"diff", 2},  {"search", 0}, {"ports", 0}, {"where", 0}, {"save-settings", 0},
};

bool Number(const std::string& text, int lowest, int highest, int& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end && value >= lowest &&
           value <= highest;
}

bool SetText(char* field, size_t width, const std::string& text, const std::string& option,
             std::string& error) {
    if (!SetFieldText(field, width, text)) {
        error = option + ": the text is too long or has characters outside Windows-1251";
        return false;
    }
    return true;
}

// "CC CITY NUMBER": the first two words are the codes, the rest the number; a single
// word is the number alone.
bool SetPhone(ConnectionSettings& s, const std::string& text, std::string& error) {
    std::vector<std::string> words;
    std::vector<size_t> starts;  // where each word begins in text
    size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        const size_t end = text.find(' ', at);
        starts.push_back(at);
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    if (words.empty()) {
        error = "--phone: no number";
        return false;
    }
    std::string country, city, number = text;
    if (words.size() >= 3) {
        country = words[0];
        city = words[1];
        number = text.substr(starts[2]);
    }
    s.LinkType = 1;
    return SetText(s.CountryCode, CountryCodeLength, country, "--phone", error) &&
           SetText(s.CityCode, CityCodeLength, city, "--phone", error) &&
           SetText(s.PhoneNumber, PhoneNumberLength, number, "--phone", error);
}

bool SetTables(CliOptions& options, const std::string& text, std::string& error) {
    options.Tables.fill(0);
    size_t at = 0;
    for (;;) {
        const size_t end = text.find(',', at);
        int table = 0;
        if (!Number(text.substr(at, end - at), 0, TableCount - 1, table) || !IsConfigTable(table)) {
            error = "--tables: a comma-separated list of 3, 5 and 6";
            return false;
        }
        options.Tables[static_cast<size_t>(table)] = 1;
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    options.TablesGiven = true;
    return true;
}

// A bare name that is no file here is a serial port's, as the system names its ports.
std::string PortByName(const std::string& text) {
    std::error_code error;
    if (std::filesystem::path(text).has_parent_path() || std::filesystem::exists(text, error)) {
        return text;
    }
    return PortPathForName(text);
}

bool SetPort(ConnectionSettings& s, std::string& path, const std::string& text) {
    int n = 0;
    if (text.size() > 3 && text.compare(0, 3, "COM") == 0 && Number(text.substr(3), 1, 8, n)) {
        s.PortNumber = static_cast<uint8_t>(n);
        path.clear();
    } else {
        path = PortByName(text);
    }
    return !text.empty();
}

// One option with its value.
bool ApplyOption(CliOptions& o, const std::string& name, const std::string& value,
                 std::string& error) {
    ConnectionSettings& s = o.Settings;
    int n = 0;
    const auto number = [&](int lowest, int highest) {
        if (Number(value, lowest, highest, n)) {
            return true;
        }
        error = name + ": \"" + value + "\" is not a whole number from " + std::to_string(lowest) +
                " to " + std::to_string(highest);
        return false;
    };
    if (name == "--port") {
        if (!SetPort(s, o.PortPath, value)) {
            error = "--port: COMn or a path";
            return false;
        }
        // A serial port given: the link is the serial one, whatever the settings file says.
        if (s.LinkType == LinkTypeNetwork) {
            s.LinkType = 0;
        }
        return true;
    }
    if (name == "--tcp" || name == "--rfc2217") {
        NetTarget target;
        if (!ParseNetAddress(value, target)) {
            error = name + ": \"" + value + "\" is not HOST:PORT";
            return false;
        }
        o.Network.Host = target.Host;
        o.Network.Port = target.Port;
        o.Network.Rfc2217 = name == "--rfc2217";
        o.Network.CallIn = false;
        s.LinkType = LinkTypeNetwork;
        return true;
    }
    if (name == "--listen") {
        if (!number(1, 65535)) {
            return false;
        }
        o.Network.Port = static_cast<uint16_t>(n);
        o.Network.Rfc2217 = false;
        o.Network.CallIn = true;
        s.LinkType = LinkTypeNetwork;
        return true;
    }
    if (name == "--rate") {
        if (!Number(value, 1, 1000000, n) || BaudCodeOf(n) < 0) {
            error = "--rate: \"" + value + "\" is not one of the device's rates";
            return false;
        }
        s.BaudRate = n;
        return true;
    }
    for (const LinkValueLimit& limit : LinkValueLimits) {
        if (name == limit.Option) {
            if (!number(limit.Lowest, limit.Highest)) {
                return false;
            }
            SetLinkValue(s, limit.Value, n);
            return true;
        }
    }
    if (name == "--retries") {
        return number(0, 1000000) && (o.Retries = n, true);
    }
    if (name == "--phone") {
        return SetPhone(s, value, error);
    }
    if (name == "--modem-command") {
        return SetText(s.ModemCommand, ModemCommandLength, value, name, error);
    }
    if (name == "--tables") {
        return SetTables(o, value, error);
    }
    if (name == "--trace") {
        o.TracePath = value;
        return true;
    }
    if (name == "--trace-json") {
        o.TraceJsonPath = value;
        return true;
    }
    error = "unknown option " + name;
    return false;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CliOptions& options,
                      std::string& error) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help" || a == "-h") {
            options.Help = true;
            return true;
        }
        if (a == "--json") {
            options.Json = true;
        } else if (a == "--force") {
            options.Force = true;
        } else if (a == "--dry-run") {
            options.DryRun = true;
        } else if (a == "--no-verify") {
            options.NoVerify = true;
        } else if (a == "--rs485") {
            options.Rs485 = true;
        } else if (a == "--direct") {
            options.Settings.LinkType = 0;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            if (i + 1 >= arguments.size()) {
                error = a + " needs a value";
                return false;
            }
            if (!ApplyOption(options, a, arguments[++i], error)) {
                return false;
            }
        } else if (options.Command.empty()) {
            options.Command = a;
        } else {
            options.Arguments.push_back(a);
        }
    }
    const auto command = Commands.find(options.Command);
    if (command == Commands.end()) {
        error = options.Command.empty() ? "no command" : "unknown command " + options.Command;
        return false;
    }
    // read alone saves into the CONFIG folder.
    const bool defaultFile = options.Command == "read" && options.Arguments.empty();
    if (options.Arguments.size() != command->second && !defaultFile) {
        error = options.Command + " takes " + std::to_string(command->second) + " argument(s)";
        return false;
    }
    if (options.TablesGiven && options.Command != "write") {
        error = "--tables is for write only";
        return false;
    }
    if (options.Force && options.Command != "read") {
        error = "--force is for read only";
        return false;
    }
    if (options.DryRun && options.Command != "write-changed") {
        error = "--dry-run is for write-changed only";
        return false;
    }
    if (options.NoVerify && options.Command != "write" && options.Command != "write-changed") {
        error = "--no-verify is for write and write-changed only";
        return false;
    }
    if (!options.TablesGiven) {
        for (const TableFlag& flag : TableFlags) {
            options.Tables[flag.Table] = flag.Flag;
        }
    }
    return true;
}
