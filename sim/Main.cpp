// zantir-sim: the ЗАНТИР zrt16-mk device, and on request a modem in front of it, on a
// pty or a real serial port.
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "link/Linerate.h"
#include "link/System.h"
#include "sim/Simdevice.h"
#include "sim/Simline.h"
#include "sim/Simmodem.h"

namespace {

const char Usage[] = R"(usage: zantir-sim [OPTIONS]

Plays the ZANTIR zrt16-mk device (and, with --modem, an AT-command modem in front of
it) on a serial line, answering the program's table-exchange frames as the device does.

  --link PATH          create a pty, make PATH a symlink to its slave (replacing an
                       old link), print "pty <slave path>" as the first line on
                       stdout, then serve until killed
  --tty PATH           serve on an existing tty instead (a real serial port; the
                       simulator sets its rate: --rate, else 9600)
  --type N             identification byte 1, device type code (default 8)
  --version N          identification byte 3, software version (default 5)
  --rate BPS           answer only while the line is set to BPS; after table 3 is
                       written, follow its new upper-level baud code (default:
                       answer at any rate)
  --destroyed T        report table T (1..7) destroyed (identification byte 0 = T and
                       table 7 flag T set) until every field of T is written
  --masks HEX,HEX      table 1 masks, upper-level port and flow-computer ports
                       (default 3FFFFF,3FFFFF)
  --state FILE         load the tables from FILE if it exists; save them after every
                       accepted write
  --latency MS         pause before answering (default 5)
  --fault KIND[@N][+K] inject a fault, repeatable; @N limits it to the next N
                       requests (default: every request), +K lets the first K
                       requests pass before it starts. KIND is one of:
                         silent     no answer (the request never reached the device)
                         noise      bytes before the start symbol
                         badcrc     a damaged check sum
                         gap        the answer stops after its 3rd byte
                         echo       a read answered with the wrong table echo
                         refuse:CODE  refused with the device's error CODE
                         corrupt    a write is confirmed, but its first value is
                                    stored with the lowest bit flipped
                       noise, badcrc, gap and echo damage the answer on its way:
                       a write in the request is still carried out
  --modem              put an AT-command modem in front of the device
  --phone DIGITS       the number that answers (default: any number)
  --dial-result TEXT   what a dial gets instead of "CONNECT 9600": BUSY,
                       NO CARRIER, NO DIALTONE, NO ANSWER, ERROR or silence
  --log                every frame in and out as hex with a millisecond timestamp
                       on stderr
  --help               this text

The device: identification of the given type and version, hardware version 1, build
date 24-03-15 10:30:00, byte order 1, multi-rate, changeable address, protocol 1.0.12;
table 3: 9600 bit/s, 3 reply and 5 request preambles, low priority, reply wait 10;
a one-line modem string in table 5; six flow computers on ports A, B and C in table 6.
Tables 3, 5 and 6 can be written. The device answers with as many 0xFF preambles as
table 3 field 1 says.

The state file is 365 bytes: "ZSIM", the layout version 1, then the device's tables
0 (17 bytes), 1 (8), 3 (8), 5 (64), 6 (255) and 7 (8), as the device holds them.
Options given on the command line (--type, --version, --masks, --destroyed) apply on
top of a loaded state.
)";

volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int) {
    stopRequested = 1;
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "zantir-sim: %s\n(zantir-sim --help lists the options)\n",
                 message.c_str());
    std::exit(2);
}

std::optional<long> Number(const std::string& text, long low, long high, int base = 10) {
    if (text.empty() || text.size() > 12) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    if (*end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

struct Options {
    std::string link, tty, statePath, phone, dialResult;
    std::optional<uint8_t> type, version, destroyed;
    std::optional<std::pair<uint32_t, uint32_t>> masks;
    int32_t rate = 0;
    int latency = 5;
    std::vector<SimFault> faults;
    bool modem = false, log = false;
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            std::exit(0);
        }
        if (arg == "--modem") {
            o.modem = true;
            continue;
        }
        if (arg == "--log") {
            o.log = true;
            continue;
        }
        if (i + 1 >= argc) {
            Fail(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown option " + arg);
        }
        const std::string value = argv[++i];
        auto byte = [&](long low, long high) {
            const auto n = Number(value, low, high);
            if (!n) {
                Fail(arg + " takes a number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + value + "\"");
            }
            return static_cast<uint8_t>(*n);
        };
        if (arg == "--link") {
            o.link = value;
        } else if (arg == "--tty") {
            o.tty = value;
        } else if (arg == "--type") {
            o.type = byte(0, 255);
        } else if (arg == "--version") {
            o.version = byte(0, 255);
        } else if (arg == "--destroyed") {
            o.destroyed = byte(1, 7);
        } else if (arg == "--rate") {
            const auto n = Number(value, 110, 256000);
            if (!n) {
                Fail("--rate takes a rate in bit/s from 110 to 256000, not \"" + value + "\"");
            }
            o.rate = static_cast<int32_t>(*n);
        } else if (arg == "--latency") {
            const auto n = Number(value, 0, 60000);
            if (!n) {
                Fail("--latency takes milliseconds from 0 to 60000, not \"" + value + "\"");
            }
            o.latency = static_cast<int>(*n);
        } else if (arg == "--masks") {
            const size_t comma = value.find(',');
            const auto a = Number(value.substr(0, comma), 0, 0xFFFFFFFFL, 16);
            const auto b = comma == std::string::npos
                               ? std::nullopt
                               : Number(value.substr(comma + 1), 0, 0xFFFFFFFFL, 16);
            if (!a || !b) {
                Fail("--masks takes two hexadecimal masks, as 3FFFFF,3FFFFF, not \"" + value +
                     "\"");
            }
            o.masks = {static_cast<uint32_t>(*a), static_cast<uint32_t>(*b)};
        } else if (arg == "--state") {
            o.statePath = value;
        } else if (arg == "--fault") {
            const auto fault = ParseFault(value);
            if (!fault) {
                Fail("unknown fault \"" + value + "\"");
            }
            o.faults.push_back(*fault);
        } else if (arg == "--phone") {
            if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
                Fail("--phone takes digits only, not \"" + value + "\"");
            }
            o.phone = value;
        } else if (arg == "--dial-result") {
            static const char* allowed[] = {"BUSY",      "NO CARRIER", "NO DIALTONE",
                                            "NO ANSWER", "ERROR",      "silence"};
            bool known = false;
            for (const char* a : allowed) {
                known = known || value == a;
            }
            if (!known) {
                Fail(
                    "--dial-result takes BUSY, NO CARRIER, NO DIALTONE, NO ANSWER, ERROR or "
                    "silence, not \"" +
                    value + "\"");
            }
            o.dialResult = value;
        } else {
            Fail("unknown option " + arg);
        }
    }
    if (o.link.empty() == o.tty.empty()) {
        Fail("give either --link PATH or --tty PATH");
    }
    return o;
}

void MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &tio);
    }
}

// The pty's master; the slave stays open here too, so that the line survives the
// program closing and opening it again.
int CreatePty(const std::string& linkPath, int& slave, std::string& slavePath) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        Fail("cannot create a pty");
    }
    slavePath = ptsname(master);
    slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        Fail("cannot open " + slavePath);
    }
    MakeRaw(slave);
    SetLineRate(slave, 9600);
    namespace fs = std::filesystem;
    std::error_code error;
    const auto status = fs::symlink_status(linkPath, error);
    if (fs::exists(status) && !fs::is_symlink(status)) {
        Fail(linkPath + " exists and is not a link: not replaced");
    }
    fs::remove(linkPath, error);
    fs::create_symlink(slavePath, linkPath, error);
    if (error) {
        Fail("cannot make the link " + linkPath + ": " + error.message());
    }
    std::printf("pty %s\n", slavePath.c_str());
    std::fflush(stdout);
    return master;
}

int OpenTty(const std::string& path, int32_t rate) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot open " + path);
    }
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        Fail(path + " is not a tty or is in use");
    }
    MakeRaw(fd);
    if (!SetLineRate(fd, rate)) {
        Fail("cannot set " + path + " to " + std::to_string(rate) + " bit/s");
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    // Before the pty can take one of their numbers: "pty <path>" would go onto the line.
    TakeClosedStandardDescriptors();
    const Options o = Parse(argc, argv);

    SimDevice device(o.type.value_or(8), o.version.value_or(5));
    if (!o.statePath.empty() && std::filesystem::exists(o.statePath)) {
        if (!device.LoadState(o.statePath)) {
            Fail(o.statePath + " is not a state file of zantir-sim: left as it is");
        }
        if (o.type) {
            device.tables.Ident[1] = *o.type;
        }
        if (o.version) {
            device.tables.Ident[3] = *o.version;
        }
    }
    if (o.masks) {
        device.SetMasks(o.masks->first, o.masks->second);
    }
    if (o.destroyed) {
        device.Destroy(*o.destroyed);
    }
    device.faults = o.faults;

    std::unique_ptr<SimModem> modem;
    if (o.modem) {
        modem = std::make_unique<SimModem>(SimModem::Options{o.phone, o.dialResult});
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SimLineOptions lineOptions;
    lineOptions.answerRate = o.rate;
    lineOptions.latency = std::chrono::milliseconds(o.latency);
    lineOptions.statePath = o.statePath;
    lineOptions.log = o.log;
    int slave = -1;
    std::string slavePath;
    int fd;
    if (!o.link.empty()) {
        fd = CreatePty(o.link, slave, slavePath);
    } else {
        lineOptions.ownsRate = true;
        lineOptions.ownRate = o.rate > 0 ? o.rate : 9600;
        lineOptions.answerRate = 0;
        fd = OpenTty(o.tty, lineOptions.ownRate);
    }
    SimLine line(fd, device, modem.get(), lineOptions);
    const bool ok = line.Serve(stopRequested);

    if (!o.link.empty()) {
        // Another simulator may have taken the link over meanwhile.
        std::error_code error;
        if (std::filesystem::read_symlink(o.link, error) == slavePath) {
            std::filesystem::remove(o.link, error);
        }
        close(slave);
    }
    close(fd);
    return ok ? 0 : 1;
}
