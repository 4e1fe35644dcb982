// The settings reader (INI/zantir.ini, 286 bytes) and what the program does with a
// record taken from the file: its texts on the screen, the range check, the modem
// command list and the dial command, and a device connection opened and connected with
// it, to a silent device or to a modem that never connects.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/Codepage.h"
#include "connection/Connectmodem.h"
#include "connection/Deviceconnection.h"
#include "connection/Settings.h"
#include "link/Plcbox.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/fuzz/Replyport.h"
#include "tests/support/Fakes.h"

namespace {

bool StartsWithAt(const std::string& command) {
    return command.size() >= 2 && (command[0] == 'A' || command[0] == 'a') &&
           (command[1] == 'T' || command[1] == 't');
}

// The texts of a field as the file holds them: Windows-1251 bytes up to the terminator.
std::string RawText(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}

// A text field read and stored back gives its bytes up to the terminator: no byte of a
// file is lost or changed on its way to the screen.
void CheckFieldText(const char* field, size_t width) {
    std::string cp1251;
    FUZZ_CHECK(ToCp1251(FieldText(field, width), cp1251));
    FUZZ_CHECK(cp1251 == RawText(field, width));
}

void CheckCommands(const ConnectionSettings& settings) {
    const std::vector<std::string> commands =
        ModemCommandList(RawText(settings.ModemCommand, ModemCommandLength));
    FUZZ_CHECK(!commands.empty() && commands.size() <= MaxModemCommands);
    for (const std::string& command : commands) {
        FUZZ_CHECK(StartsWithAt(command) && command.back() == '\r');
        FUZZ_CHECK(command.find('^') == std::string::npos);
    }
    std::string number;
    FUZZ_CHECK(ToCp1251(DialNumberText(settings), number));
    const std::string dial = DialCommand(number);
    FUZZ_CHECK(dial.rfind("ATD", 0) == 0 && dial.back() == '\r');
    FUZZ_CHECK(dial.find_first_of(" -()") == std::string::npos);
}

// A direct link over a silent line: the request goes out with the file's preamble count,
// as often as the file's attempts say, and the connection fails.
void CheckDirect(DeviceConnection& device, const ConnectionSettings& settings,
                 const ScriptedPort& port) {
    FUZZ_CHECK(!device.Connect());
    const auto writes = port.EventsOf(PortEvent::Write);
    FUZZ_CHECK(writes.size() == static_cast<size_t>(settings.ExchangeAttempts));
    const std::vector<uint8_t>& first = writes[0].bytes;
    const size_t preambles = settings.RequestPreambles;
    FUZZ_CHECK(first.size() == preambles + 12 && first[preambles] == RequestStart);
    for (size_t i = 0; i < preambles; ++i) {
        FUZZ_CHECK(first[i] == PreambleByte);
    }
}

// A telephone link over a modem that answers OK to everything and never connects: every
// attempt sends the set-up commands and the dial, in the bytes the file holds them in.
void CheckTelephone(DeviceConnection& device, const ConnectionSettings& settings,
                    const ReplyPort& port) {
    FUZZ_CHECK(!device.Connect());
    std::string attempt;
    for (const std::string& command :
         ModemCommandList(RawText(settings.ModemCommand, ModemCommandLength))) {
        attempt += command;
    }
    attempt += DialCommand(RawText(settings.CountryCode, CountryCodeLength) + " " +
                           RawText(settings.CityCode, CityCodeLength) + " " +
                           RawText(settings.PhoneNumber, sizeof settings.PhoneNumber));
    std::string expected = "ath\r";
    for (int32_t i = 0; i < settings.ConnectAttempts; ++i) {
        expected += attempt;
    }
    FUZZ_CHECK(port.written == expected);
}

void CheckConnection(const ConnectionSettings& loaded) {
    FakeClock clock;
    RecordingScreen screen{clock};
    LinkEngine engine{0};
    engine.Clock = &clock;
    engine.MaxPollWait = NoPollCap;
    ConfigImage image;
    ConnectionSettings settings = loaded;
    // The connection frees the port it was given when it fails: it gets a tap on these.
    ScriptedPort line{clock};
    ReplyPort telephone{clock};
    const std::string ok = "\r\nOK\r\n";
    telephone.otherwise.assign(ok.begin(), ok.end());
    DeviceConnection device{engine, image, settings, screen};
    const bool phone = settings.LinkType == 1;
    Transport& port = phone ? static_cast<Transport&>(telephone) : line;
    const LinkValueLimit* bad = ValueOutOfRange(settings);
    const bool opened = device.Open(settings, std::make_unique<TappedPort>(port));
    FUZZ_CHECK(opened == !bad);
    if (!opened) {
        FUZZ_CHECK(screen.messages.size() == 1 && screen.messages[0].first == bad->Caption);
        return;
    }
    if (phone) {
        CheckTelephone(device, settings, telephone);
    } else {
        CheckDirect(device, settings, line);
    }
    // The failure is told and the port let go.
    FUZZ_CHECK(!screen.messages.empty() && !device.Port() && !device.Busy());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    file.Put(data, size);
    ConnectionSettings settings;
    std::memset(static_cast<void*>(&settings), 0xA5, sizeof settings);
    const bool loaded = LoadSettings(settings, file.Path());
    // The first 286 bytes of a long enough file are the record; anything shorter gives
    // the defaults.
    FUZZ_CHECK(loaded == (size >= SettingsFileSize));
    const ConnectionSettings defaults;
    FUZZ_CHECK(std::memcmp(&settings, loaded ? static_cast<const void*>(data) : &defaults,
                           SettingsFileSize) == 0);

    CheckFieldText(settings.ModemCommand, ModemCommandLength);
    CheckFieldText(settings.CountryCode, CountryCodeLength);
    CheckFieldText(settings.CityCode, CityCodeLength);
    CheckFieldText(settings.PhoneNumber, sizeof settings.PhoneNumber);
    CheckCommands(settings);
    CheckConnection(settings);
    return 0;
}
