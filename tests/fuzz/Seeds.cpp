// Writes the seed corpus of every fuzz target: valid frames and files of each kind and a
// few short broken ones, made with the program's own frame builder and records. Run it
// when a layout or a target's input format changes, and commit what it writes:
//   build-fuzzreplay/fuzz-seeds tests/fuzz/corpus
// It only writes its own file names; seeds added by hand stay.
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/Cnffile.h"
#include "config/Codepage.h"
#include "config/Configrecord.h"
#include "connection/Settings.h"
#include "link/Plcbox.h"
#include "sim/Simdevice.h"
#include "tests/support/Fakes.h"
#include "tests/support/Requests.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t Accepted = TableExchange | AcceptedBit;

class Corpus {
public:
    Corpus(const fs::path& root, const std::string& target) : folder_(root / target) {
        fs::create_directories(folder_);
    }
    void Put(const std::string& name, const Bytes& bytes) {
        std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        ok_ = ok_ && out.good();
        ++count_;
    }
    // The control byte of a target, then its payload.
    void Put(const std::string& name, uint8_t control, const Bytes& payload) {
        Bytes bytes = {control};
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        Put(name, bytes);
    }
    bool ok() const { return ok_; }
    int count() const { return count_; }

private:
    fs::path folder_;
    bool ok_ = true;
    int count_ = 0;
};

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

template <typename T>
Bytes RawBytes(const T& record) {
    Bytes bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

using requests::Read;
using requests::Request;

Bytes Write(uint8_t table, uint8_t first, uint8_t count, const Bytes& values) {
    Bytes data = {0, 0, 0, table, first, count};
    data.insert(data.end(), values.begin(), values.end());
    return Request(data);
}

Bytes Filled(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + 7 * i);
    }
    return bytes;
}

void Response(Corpus& c) {
    c.Put("ident", 0x00, IdentResponse());
    c.Put("accepted-empty", 0x00, ResponseFrame(Accepted, {}));
    c.Put("refusal-13", 0x00, ResponseFrame(TableExchange, {13, 0, 3}));
    c.Put("refusal-valve", 0x00, ResponseFrame(TableExchange, {24, 1, 0}));
    c.Put("refusal-destroyed", 0x00, ResponseFrame(TableExchange, {60, 0, 6}));
    c.Put("refusal-unknown-code", 0x00, ResponseFrame(TableExchange, {200}));
    c.Put("refusal-no-data", 0x00, ResponseFrame(TableExchange, {}));
    c.Put("other-function", 0x00, ResponseFrame(0x9E, {13}));
    c.Put("noise-and-preambles", 0x00,
          Joined({{0xFF, 0xFF, 0xFF, 0x00, 0x5A, 0x33, 0x07, 0xCC, 0x12}, IdentResponse()}));
    c.Put("address-3", 0x40, ResponseFrame(Accepted, {0, 0, 1, 8}, 3));
    c.Put("address-start-symbol", 0x60, ResponseFrame(Accepted, {}, ResponseStart));
    c.Put("wrong-address", 0x40, IdentResponse());
    Bytes damaged = IdentResponse();
    damaged[10] ^= 0x01;
    c.Put("bad-check-sum", 0x00, damaged);
    c.Put("bad-check-sum-repaired", 0x01, damaged);
    c.Put("slow-bytes", 12 << 1, IdentResponse());
    c.Put("longest-frame", 0x00, ResponseFrame(Accepted, Filled(MaxDataLength, 1)));
    c.Put("start-only", 0x00, {ResponseStart});
    c.Put("length-too-small", 0x00, {ResponseStart, 0x00, 0x05, Accepted});
    const Bytes ident = IdentResponse();
    c.Put("truncated", 0x00, Bytes(ident.begin(), ident.begin() + 8));
    c.Put("silent", 0x00, {});
}

ConfigRecord SampleRecord(uint8_t version) {
    ConfigRecord record = NewConfigRecord(version);
    record.IdentPresent = 1;
    const std::array<uint8_t, 17> ident = {0, 8, 1, version, 24, 3, 15, 10, 30,
                                           0, 1, 1, 0,       0,  1, 0,  12};
    std::copy(ident.begin(), ident.end(), record.Ident.begin());
    record.FlowComputers[1] = UnpackFlowComputer(0x2B);
    record.FlowComputers[3] = UnpackFlowComputer(0x4F);
    record.FlowComputers[20] = UnpackFlowComputer(0x71);
    const char modem[] = "AT&FE0V1S0=1\r";
    std::memcpy(record.ModemInit.data(), modem, sizeof modem - 1);
    return record;
}

Bytes LegacyFile(const ConfigRecord& record) {
    Bytes file(LegacyConfigFileSize);
    std::memcpy(file.data(), record.LinkParams.data(), 7);
    std::memcpy(file.data() + 25, record.FlowComputers.data(), sizeof record.FlowComputers);
    std::memcpy(file.data() + 1045, record.ModemInit.data(), record.ModemInit.size());
    return file;
}

void Cnffile(Corpus& c) {
    for (uint8_t version : {3, 4, 5, 6}) {
        c.Put("version-" + std::to_string(version) + ".cnf",
              RawBytes(ConfigFileData(SampleRecord(version))));
    }
    c.Put("new-record.cnf", RawBytes(ConfigFileData(NewConfigRecord(6))));
    Bytes longer = RawBytes(ConfigFileData(SampleRecord(6)));
    longer.resize(1300, 0x5A);
    c.Put("longer-file.cnf", longer);
    c.Put("legacy.cnf", LegacyFile(SampleRecord(3)));

    ConfigRecord odd = SampleRecord(5);
    odd.FlowComputers[7] = {1, 5, 0xFF};  // a port and a code no editor makes
    std::memset(odd.ModemInit.data(), 0xC0, odd.ModemInit.size());  // no terminator, no CR
    odd.Reserved3.fill(0xA5);
    c.Put("unusual-values.cnf", RawBytes(ConfigFileData(odd)));
    c.Put("legacy-unusual.cnf", LegacyFile(odd));

    ConfigRecord other = SampleRecord(6);
    other.Ident[IdentTypeCode] = 7;
    c.Put("other-device.cnf", RawBytes(ConfigFileData(other)));
    Bytes shorter = RawBytes(ConfigFileData(SampleRecord(6)));
    shorter.resize(ConfigRecordSize - 1);
    c.Put("one-byte-short.cnf", shorter);
    Bytes legacyShort = LegacyFile(SampleRecord(3));
    legacyShort.resize(LegacyConfigFileSize - 1);
    c.Put("legacy-one-byte-short.cnf", legacyShort);
    c.Put("empty.cnf", {});
    c.Put("text.cnf", Text("[zantir]\nnot a configuration\n"));
}

void SetText(char* field, size_t width, const std::string& utf8) {
    if (!SetFieldText(field, width, utf8)) {
        std::fprintf(stderr, "fuzz-seeds: no field text for \"%s\"\n", utf8.c_str());
        std::exit(1);
    }
}

ConnectionSettings Telephone() {
    ConnectionSettings s;
    s.LinkType = 1;
    s.PortNumber = 2;
    s.BaudRate = 9600;
    s.ConnectWait = 30;
    s.ConnectAttempts = 2;
    SetText(s.ModemCommand, ModemCommandLength, "AT&F^ATX3^ATM0");
    SetText(s.CountryCode, CountryCodeLength, "7");
    SetText(s.CityCode, CityCodeLength, "(495)");
    SetText(s.PhoneNumber, sizeof s.PhoneNumber, "123-45-67");
    return s;
}

void Settings(Corpus& c) {
    c.Put("default.ini", RawBytes(ConnectionSettings{}));
    c.Put("telephone.ini", RawBytes(Telephone()));

    ConnectionSettings cyrillic = Telephone();
    SetText(cyrillic.ModemCommand, ModemCommandLength, "ATX3 ^ мой модем ^ at&fя");
    SetText(cyrillic.PhoneNumber, sizeof cyrillic.PhoneNumber, "доб. 12");
    c.Put("telephone-cyrillic.ini", RawBytes(cyrillic));

    ConnectionSettings full = Telephone();
    std::memset(full.ModemCommand, 'A', sizeof full.ModemCommand);
    std::memset(full.CountryCode, '1', sizeof full.CountryCode);
    std::memset(full.CityCode, '2', sizeof full.CityCode);
    std::memset(full.PhoneNumber, '3', sizeof full.PhoneNumber);
    c.Put("fields-without-terminator.ini", RawBytes(full));

    ConnectionSettings most;
    most.RequestPreambles = 255;
    most.ExchangeAttempts = 5;
    most.FirstByteTimeout = 120;
    most.NextByteTimeout = 5000;
    most.RtsPause = 1000;
    most.BaudRate = 256000;
    c.Put("largest-values.ini", RawBytes(most));

    ConnectionSettings outside;
    outside.NextByteTimeout = 0;
    outside.BaudRate = -1;
    c.Put("out-of-range.ini", RawBytes(outside));
    ConnectionSettings phoneOutside = Telephone();
    phoneOutside.ConnectAttempts = 11;
    c.Put("telephone-out-of-range.ini", RawBytes(phoneOutside));

    Bytes longer = RawBytes(Telephone());
    longer.resize(300, '\n');
    c.Put("longer-file.ini", longer);
    Bytes shorter = RawBytes(ConnectionSettings{});
    shorter.resize(SettingsFileSize - 1);
    c.Put("one-byte-short.ini", shorter);
    c.Put("empty.ini", {});
}

// Replies of the modem target: separated by 0x01.
Bytes Replies(std::initializer_list<std::string> replies) {
    Bytes bytes;
    bool first = true;
    for (const std::string& reply : replies) {
        if (!first) {
            bytes.push_back(0x01);
        }
        first = false;
        bytes.insert(bytes.end(), reply.begin(), reply.end());
    }
    return bytes;
}

void Modem(Corpus& c) {
    const std::string ok = "\r\nOK\r\n";
    c.Put("exchange-ok", 0x00, Replies({ok}));
    c.Put("exchange-echo", 0x00, Replies({"AT\r" + ok}));
    c.Put("exchange-numeric", 0x00, Replies({"\r0\r"}));
    c.Put("exchange-error", 0x00, Replies({"\r\nERROR\r\n"}));
    c.Put("exchange-cyrillic", 0x00, Replies({"\r\n\xCE\xD8\xC8\xC1\xCA\xC0\r\n"}));
    c.Put("exchange-with-nul", 0x00, Bytes{'\r', '\n', 'O', 0, 'K', '\r', '\n'});
    c.Put("exchange-too-long", 0x00, Replies({"\r\n" + std::string(300, 'x')}));
    c.Put("exchange-unfinished", 0x00, Replies({"\r\nOK"}));
    c.Put("exchange-escape-text", 0x00, Replies({"\r\nEscape...\r\n"}));
    c.Put("reset-ok", 0x01, Replies({ok}));
    c.Put("reset-online", 0x01, Replies({"\rabc\r", ok, ok}));
    c.Put("reset-online-stubborn", 0x01,
          Replies({"\rabc\r", "\rdef\r", "\rghi\r", "\rjkl\r", "\rmno\r", "\rpqr\r", "\rstu\r"}));
    const std::string connect = "\r\nCONNECT 9600\r\n";
    c.Put("dial-connect", 0x02, Replies({ok, ok, ok, ok, connect}));
    c.Put("dial-connect-hang-up", 0x03, Replies({ok, ok, ok, ok, connect}));
    c.Put("dial-busy-then-connect", 0x02,
          Replies({ok, ok, ok, ok, "\r\nBUSY\r\n", ok, ok, ok, connect}));
    c.Put("dial-no-carrier", 0x02, Replies({ok, ok, ok, ok, "\r\nNO CARRIER\r\n"}));
    c.Put("dial-no-dialtone", 0x02, Replies({ok, ok, ok, ok, "\r\nNO DIALTONE\r\n"}));
    c.Put("dial-no-answer", 0x02, Replies({ok, ok, ok, ok, "\r\nNO ANSWER\r\n"}));
    c.Put("dial-time-out-text", 0x02, Replies({ok, ok, ok, ok, "\r\nTime out\r\n"}));
    c.Put("dial-set-up-refused", 0x02, Replies({ok, ok, "\r\nERROR\r\n"}));
    c.Put("dial-no-ok", 0x02, Replies({ok, "\r\nHUH\r\n"}));
    c.Put("dial-escape-pressed", 0x02 | 0x04 | (6 << 4), Replies({ok, ok, ok, ok, connect}));
    c.Put("dial-program-closing", 0x02 | 0x08 | (4 << 4), Replies({ok, ok, ok, ok, connect}));
    c.Put("reset-program-closing", 0x01 | 0x08, Replies({"\rabc\r", ok}));
    c.Put("silent", 0x02, {});
    c.Put("garbage", 0x00, {0xFF, 0xFE, 0x41, 0x0D});
}

// Requests of the sim target: each one length byte and its bytes.
Bytes Requests(std::initializer_list<Bytes> requests) {
    Bytes bytes;
    for (const Bytes& request : requests) {
        bytes.push_back(static_cast<uint8_t>(request.size()));
        bytes.insert(bytes.end(), request.begin(), request.end());
    }
    return bytes;
}

void Sim(Corpus& c) {
    c.Put("ident-read", 0x00, Requests({Read(0, 0, 17)}));
    c.Put("read-every-table", 0x00,
          Requests({Read(0, 0, 17), Read(1, 0, 2), Read(3, 0, 8), Read(5, 0, 1), Read(6, 0, 130),
                    Read(6, 130, 125), Read(7, 0, 8)}));
    c.Put("write-link-then-read", 0x00,
          Requests({Write(3, 0, 8, {11, 0, 5, 1, 0, 0, 10, 1}), Read(3, 0, 8), Read(0, 0, 17)}));
    c.Put("write-link-version-4", 0x20, Requests({Write(3, 0, 8, Filled(8, 3)), Read(3, 0, 7)}));
    c.Put("write-modem", 0x60, Requests({Write(5, 0, 1, Filled(64, 0x41)), Read(5, 0, 1)}));
    c.Put("rewrite-destroyed-table", 0x10,
          Requests({Read(0, 0, 17), Write(6, 0, 243, Filled(243, 1)),
                    Write(6, 243, 12, Filled(12, 2)), Read(0, 0, 17), Read(7, 0, 8)}));
    c.Put("read-and-write-at-once", 0x00, Requests({Request(Joined({{0, 0, 17, 3, 2, 1}, {9}}))}));
    c.Put("read-missing-table", 0x00, Requests({Read(2, 0, 1), Read(9, 0, 1)}));
    c.Put("read-past-fields", 0x00, Requests({Read(0, 10, 8)}));
    c.Put("read-too-long-an-answer", 0x00,
          Requests({Read(1, 0, 2), Request({6, 0, 255, 0, 0, 0})}));
    c.Put("write-read-only-table", 0x00, Requests({Write(0, 0, 1, {1})}));
    c.Put("write-too-many-fields", 0x00, Requests({Write(6, 0, 244, {})}));
    c.Put("write-wrong-length", 0x00, Requests({Write(3, 0, 2, {1})}));
    c.Put("header-too-short", 0x00, Requests({Request({0, 0, 17, 0, 0})}));
    c.Put("unknown-function", 0x00, Requests({Request({0, 0, 17, 0, 0, 0}, 30)}));
    c.Put("other-address", 0x00, Requests({Request({0, 0, 17, 0, 0, 0}, TableExchange, 3)}));
    Bytes damaged = Read(0, 0, 17);
    damaged[5] ^= 0x10;
    c.Put("bad-check-sum", 0x00, Requests({damaged}));
    c.Put("bad-check-sum-repaired", 0x01, Requests({damaged}));
    const std::array<const char*, 8> faults = {"",    "silent", "noise",     "badcrc",
                                               "gap", "echo",   "refuse-24", "refuse-13"};
    for (uint8_t fault = 1; fault < faults.size(); ++fault) {
        c.Put(std::string("fault-") + faults[fault], static_cast<uint8_t>(fault << 1),
              Requests({Read(0, 0, 17), Write(3, 0, 8, Filled(8, 1))}));
    }
    c.Put("truncated-request", 0x00, Requests({Bytes{RequestStart, 0, 12, TableExchange}}));
    c.Put("empty-requests", 0x00, {0, 0, 0});
    c.Put("modem-commands", 0x80,
          Requests({Text("AT\r"), Text("ATE0V1\r"), Text("ATI\r"), Text("AT&F S0=1 Q0 V0\r"),
                    Text("noise ATZ\r"), Text("AT?\r")}));
    c.Put("modem-call", 0x80,
          Requests({Text("ATE0V1\r"),
                    Text("ATD 123-45\r"),
                    {},
                    Read(0, 0, 17),
                    {},
                    {},
                    Text("+++"),
                    {},
                    {},
                    Text("ATO\r"),
                    Text("+++"),
                    {},
                    {},
                    Text("ATH\r")}));
}

// Trace events: kind, address, time and value (low byte first), then the bytes of a run.
Bytes TraceEventBytes(uint8_t kind, uint8_t address, int64_t micros, int32_t value,
                      const Bytes& run) {
    Bytes bytes = {kind, address};
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(micros) >> (8 * i)));
    }
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
    }
    bytes.insert(bytes.end(), run.begin(), run.end());
    return bytes;
}

void Trace(Corpus& c) {
    enum : uint8_t { Command, Sent, Received, Rate, Rts, Dtr, Purge, Lost };
    const Bytes preambles(5, PreambleByte);
    c.Put("command", TraceEventBytes(Command, 0, 0, TableExchange, {}));
    c.Put("sent-ident-read", TraceEventBytes(Sent, 0, 12, 0, Joined({preambles, Read(0, 0, 17)})));
    c.Put("sent-write", TraceEventBytes(Sent, 0, 40, 0, Write(3, 0, 8, Filled(8, 3))));
    c.Put("received-ident", TraceEventBytes(Received, 0, 73412, 0, IdentResponse()));
    c.Put("received-valve-refusal",
          TraceEventBytes(Received, 0, 51000, 0, ResponseFrame(TableExchange, {24, 1, 0})));
    c.Put("received-destroyed-table",
          TraceEventBytes(Received, 0, 51000, 0, ResponseFrame(TableExchange, {60, 0, 6})));
    c.Put("received-other-function", TraceEventBytes(Received, 0, 9, 0, ResponseFrame(0x9E, {13})));
    c.Put("received-address-3",
          TraceEventBytes(Received, 3, 88, 0, ResponseFrame(Accepted, {0, 0, 1, 8}, 3)));
    Bytes damaged = IdentResponse();
    damaged[10] ^= 0x01;
    c.Put("received-bad-check-sum", TraceEventBytes(Received, 0, 90000, 0, damaged));
    const Bytes ident = IdentResponse();
    c.Put("received-truncated",
          TraceEventBytes(Received, 0, 2000000, 0, Bytes(ident.begin(), ident.begin() + 9)));
    c.Put("received-noise-around-frame",
          TraceEventBytes(Received, 0, 5, 0,
                          Joined({{0x00, 0x5A, 0x07, RequestStart, 0x12}, ident, {0x33, 0x00}})));
    c.Put("received-modem-text",
          TraceEventBytes(Received, 0, 300, 0, Text("\r\nCONNECT 9600\r\n")));
    c.Put("sent-modem-command", TraceEventBytes(Sent, 0, 0, 0, Text("AT&FE0V1\r")));
    c.Put("received-text-with-controls",
          TraceEventBytes(Received, 0, 1, 0, Text("OK\x07\x1B[2J\x7F")));
    c.Put("received-cyrillic", TraceEventBytes(Received, 0, 1, 0, Text("ОШИБКА\r\n")));
    c.Put("rate", TraceEventBytes(Rate, 0, 17, 9600, {}));
    c.Put("rts-up", TraceEventBytes(Rts, 0, 100, 1, {}));
    c.Put("dtr-down", TraceEventBytes(Dtr, 0, 100, 0, {}));
    c.Put("purge", TraceEventBytes(Purge, 0, 100, 0, {}));
    c.Put("lost", TraceEventBytes(Lost, 0, 100, 0, {}));
    c.Put("extreme-time-and-value", TraceEventBytes(Rate, 0, INT64_MIN, INT32_MIN, {}));
    c.Put("short-header", {Received, 0, 1});
}

// Command lines: the arguments separated by NUL bytes.
Bytes Arguments(std::initializer_list<std::string> arguments) {
    Bytes bytes;
    for (const std::string& argument : arguments) {
        if (&argument != arguments.begin()) {
            bytes.push_back(0);
        }
        bytes.insert(bytes.end(), argument.begin(), argument.end());
    }
    return bytes;
}

void Options(Corpus& c) {
    c.Put("ident", Arguments({"ident"}));
    c.Put("port-rate-state", Arguments({"--port", "COM2", "--rate", "9600", "state"}));
    c.Put("port-by-name", Arguments({"--port", "ttyUSB0", "--json", "ports"}));
    c.Put("port-path", Arguments({"--port", "/dev/ttyS0", "search"}));
    c.Put("phone", Arguments({"--phone", "7 (495) 123-45-67", "--modem-command", "AT&F^ATX3",
                              "--connect-wait", "60", "--connect-attempts", "3", "read"}));
    c.Put("phone-number-only", Arguments({"--phone", "1234567", "ident"}));
    c.Put("link-values", Arguments({"--preambles", "255", "--attempts", "5", "--first-byte-timeout",
                                    "120", "--next-byte-timeout", "55", "--rts-pause", "1000",
                                    "--retries", "3", "--direct", "--rs485", "state"}));
    c.Put("write-tables", Arguments({"write", "zrt.cnf", "--tables", "3,5,6"}));
    c.Put("write-changed", Arguments({"write-changed", "zrt.cnf"}));
    c.Put("diff", Arguments({"diff", "a.cnf", "device"}));
    c.Put("read-force", Arguments({"read", "out.cnf", "--force"}));
    c.Put("read-default-file", Arguments({"read"}));
    c.Put("show-json-traced",
          Arguments({"--json", "--trace", "-", "--trace-json", "t.json", "show", "x.cnf"}));
    c.Put("where-save-settings", Arguments({"where"}));
    c.Put("help-after-junk", Arguments({"--rate", "9600", "bogus", "--help"}));
    c.Put("rate-not-a-device-rate", Arguments({"--rate", "1234", "ident"}));
    c.Put("preambles-out-of-range", Arguments({"--preambles", "256", "ident"}));
    c.Put("tables-not-configuration", Arguments({"write", "f", "--tables", "0,7"}));
    c.Put("tables-for-read", Arguments({"--tables", "3", "read"}));
    c.Put("force-for-write", Arguments({"--force", "write", "f"}));
    c.Put("value-missing", Arguments({"ident", "--port"}));
    c.Put("modem-command-outside-1251", Arguments({"--modem-command", "AT\u2713", "ident"}));
    c.Put("phone-too-long", Arguments({"--phone", std::string(40, '9'), "ident"}));
    c.Put("unknown-option", Arguments({"--speed", "9600", "ident"}));
    c.Put("unknown-command", Arguments({"frobnicate"}));
    c.Put("too-many-arguments", Arguments({"show", "a", "b"}));
    c.Put("empty", {});
}

// Reports: table 7, configuration A, changes making B, the ports' flags, then texts.
Bytes ReportInput(const std::array<uint8_t, TableCount>& table7, const ConfigRecord& a,
                  const std::vector<std::pair<size_t, uint8_t>>& changes,
                  const std::array<uint8_t, 5>& portFlags,
                  std::initializer_list<std::string> texts) {
    Bytes bytes(table7.begin(), table7.end());
    const Bytes record = RawBytes(a);
    bytes.insert(bytes.end(), record.begin(), record.end());
    bytes.push_back(static_cast<uint8_t>(changes.size()));
    for (const auto& [offset, value] : changes) {
        bytes.push_back(static_cast<uint8_t>(offset & 0xFF));
        bytes.push_back(static_cast<uint8_t>(offset >> 8));
        bytes.push_back(value);
    }
    bytes.insert(bytes.end(), portFlags.begin(), portFlags.end());
    const Bytes joined = Arguments(texts);
    bytes.insert(bytes.end(), joined.begin(), joined.end());
    return bytes;
}

void Reports(Corpus& c) {
    const size_t link = offsetof(ConfigRecord, LinkParams);
    const size_t computers = offsetof(ConfigRecord, FlowComputers);
    const size_t modem = offsetof(ConfigRecord, ModemInit);
    const std::array<uint8_t, TableCount> intact{};
    std::array<uint8_t, TableCount> destroyed{};
    destroyed[6] = 1;
    destroyed[2] = 1;

    c.Put("configuration-and-adapter",
          ReportInput(intact, SampleRecord(6),
                      {{link, 12}, {link + 7, 1}, {computers + 3 * 4, 1}, {modem + 2, 'Z'}},
                      {2, 0x01, 0x03, 0x03, 0x01},
                      {"ttyUSB0",
                       "/dev/ttyUSB0",
                       "/dev/serial/by-id/usb-FTDI-if00-port0",
                       "ftdi_sio",
                       "",
                       "FTDI",
                       "FT232R USB UART",
                       "0403",
                       "6001",
                       "A10K3XJ1",
                       "",
                       "ttyS0",
                       "/dev/ttyS0",
                       "",
                       "serial8250",
                       "16550A",
                       "",
                       "",
                       "",
                       "",
                       "",
                       "dialout",
                       "/home/u/.local/share/zantir/PORTS/COM1",
                       "/dev/serial/by-id/usb-FTDI-if00-port0"}));
    c.Put("version-3-destroyed-tables",
          ReportInput(destroyed, SampleRecord(3), {{link + 7, 1}}, {0, 0, 0, 0, 0}, {}));
    ConfigRecord odd = SampleRecord(5);
    odd.FlowComputers[7] = {1, 5, 0xFF};
    std::memset(odd.ModemInit.data(), 0x9B, odd.ModemInit.size());  // no terminator
    c.Put("unusual-values",
          ReportInput(intact, odd, {{computers + 21, 0xC0}}, {0, 0, 0, 0, 0}, {}));
    ConfigRecord controls = SampleRecord(6);
    const char init[] = "AT\x1B[2J\n\x85\x98\xFF\r";
    std::memcpy(controls.ModemInit.data(), init, sizeof init - 1);
    controls.Ident[IdentTypeCode] = 0xFF;
    c.Put("control-characters",
          ReportInput(destroyed, controls, {{modem, 0x0A}, {modem + 1, 0x1B}},
                      {3, 0x05, 0x02, 0xF0, 0xFF},
                      {"tty\x1B[31mX", "/dev/tty\nUSB1", "", "drv\t1", "\x01\x02",
                       "Maker\xE2\x80\xA8", "Product \xC2\x85 \xFF\xFE", "\xD0", "12\r",
                       "\xED\xA0\x80", "группа\x7F", "COM\x9B", "Ключ"}));
    c.Put("new-record", ReportInput(intact, NewConfigRecord(4), {}, {0, 0, 0, 0, 0}, {}));
    c.Put("short", {1, 0, 0});
}

// Device trees: who asks, the count of ports, two flag bytes for each, then the texts.
Bytes TreeInput(uint8_t who, std::initializer_list<uint16_t> ports,
                std::initializer_list<std::string> texts) {
    Bytes bytes = {who, static_cast<uint8_t>(ports.size() - 1)};
    for (const uint16_t flags : ports) {
        bytes.push_back(static_cast<uint8_t>(flags & 0xFF));
        bytes.push_back(static_cast<uint8_t>(flags >> 8));
    }
    const Bytes joined = Arguments(texts);
    bytes.insert(bytes.end(), joined.begin(), joined.end());
    return bytes;
}

void Sysfs(Corpus& c) {
    // The flags of SysfsFuzz.cpp.
    enum : uint16_t {
        Device = 1 << 0,
        Usb = 1 << 1,
        Type = 1 << 2,
        Driver = 1 << 3,
        Node = 1 << 4,
        ById = 1 << 5,
        UsbTexts = 1 << 6,
        OpenToAll = 1 << 7,
        Dangling = 1 << 8,
        EntryLink = 1 << 9,
        DanglingById = 1 << 10,
        TypeFolder = 1 << 11,
        NoIdProduct = 1 << 12,
        NodeLink = 1 << 13,
        Loop = 1 << 14,
        Outside = 1 << 15,
    };
    const uint16_t adapter = Device | Usb | Driver | Node | ById | UsbTexts;
    c.Put("usb-adapter-bound",
          TreeInput(0x01 | 0x10, {adapter | EntryLink},
                    {"ttyUSB0", "0403\n", "6001\n", "FTDI\n", "FT232R USB UART\n", "A10K3XJ1\n",
                     "ftdi_sio", "usb-FTDI_FT232R_USB_UART_A10K3XJ1-if00-port0",
                     "../dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XJ1-if00-port0"}));
    c.Put("uarts", TreeInput(0x00 | 0x20,
                             {Device | Type | Driver | Node, Device | Type | Driver | Node,
                              Device | Type | Node | OpenToAll, Device | Type | Node},
                             {"ttyS0", "serial8250", "4\n", "ttyS1", "serial8250", "0", "ttyS2",
                              "99 \n", "ttyS3", "16550A", "../dev/ttyS1"}));
    c.Put("user-in-group", TreeInput(0x02, {adapter, Device | Usb | Driver | Node | OpenToAll},
                                     {"ttyUSB1", "1a86", "7523", "", "", "", "ch341", "ch341-port",
                                      "ttyUSB10", "1a86", "7523", "ch341"}));
    c.Put("acm-modem-without-texts", TreeInput(0x01, {Device | Usb | Driver | Node | NoIdProduct},
                                               {"ttyACM0", "2341\n", "cdc_acm"}));
    c.Put("hostile-texts",
          TreeInput(0x01 | 0x30, {adapter, adapter | NodeLink, adapter | DanglingById},
                    {"tty\x1B[31mUSB\t0", "\xFF\xFE", "\n6001", "Maker\xE2\x80\xA8 \r\n",
                     "Product \x1B]0;title\x07 \xC2\x85\xD0", "\x01\x02\x03\n\nsecond line",
                     "drv\r", "usb-\x7F", "ttyUSB2", "..", "../dev/tty\x1B[31mUSB\t0"}));
    c.Put("broken-links",
          TreeInput(0x00,
                    {Device | Loop | Node, Device | Dangling | Node, Device | Usb | Outside | Node},
                    {"ttyUSB3", "ttyUSB4", "ttyUSB5", "0403", "6015"}));
    c.Put("type-folder-and-console",
          TreeInput(0x01, {Device | Type | TypeFolder | Node, Node}, {"ttyS4", "tty1"}));
    c.Put("device-file-missing", TreeInput(0x01, {adapter & ~Node}, {"ttyUSB6"}));
    c.Put("empty", {});
}

// State files: the magic, the layout version and the tables.
Bytes StateFile(const SimDevice& device) {
    Bytes bytes(SimStateMagic, SimStateMagic + 4);
    bytes.push_back(SimStateVersion);
    const Bytes tables = RawBytes(device.tables);
    bytes.insert(bytes.end(), tables.begin(), tables.end());
    return bytes;
}

void Simstate(Corpus& c) {
    c.Put("fresh-version-6", StateFile(SimDevice(DeviceTypeCode, 6)));
    SimDevice modem(DeviceTypeCode, 5);
    modem.Destroy(ModemTable.Number);
    c.Put("modem-table-destroyed", StateFile(modem));
    SimDevice link(DeviceTypeCode, 3);
    link.Destroy(LinkTable.Number);
    c.Put("link-table-destroyed-version-3", StateFile(link));
    SimDevice computers(DeviceTypeCode, 4);
    computers.Destroy(FlowComputerTable.Number);
    c.Put("flow-computers-destroyed", StateFile(computers));
    // Written by hand: the identification names a destroyed table that table 7 does not
    // flag, or one the device does not have.
    SimDevice unflagged(DeviceTypeCode, 6);
    unflagged.tables.Ident[0] = FlowComputerTable.Number;
    c.Put("destroyed-but-not-flagged", StateFile(unflagged));
    SimDevice noSuch(DeviceTypeCode, 6);
    noSuch.tables.Ident[0] = 9;
    c.Put("destroyed-table-9", StateFile(noSuch));
    SimDevice other(7, 2);
    other.tables.Ident.fill(0xFF);
    other.tables.Link.fill(0xFF);
    c.Put("foreign-values", StateFile(other));

    Bytes magic = StateFile(SimDevice(DeviceTypeCode, 6));
    magic[3] = 'N';
    c.Put("wrong-magic", magic);
    Bytes version = StateFile(SimDevice(DeviceTypeCode, 6));
    version[4] = SimStateVersion + 1;
    c.Put("wrong-version", version);
    Bytes shorter = StateFile(SimDevice(DeviceTypeCode, 6));
    shorter.pop_back();
    c.Put("one-byte-short", shorter);
    Bytes longer = StateFile(SimDevice(DeviceTypeCode, 6));
    longer.push_back(0);
    c.Put("one-byte-long", longer);
    c.Put("magic-only", Text("ZSIM"));
    c.Put("empty", {});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    Corpus response(root, "response"), cnffile(root, "cnffile"), settings(root, "settings"),
        modem(root, "modem"), sim(root, "sim"), trace(root, "trace"), options(root, "options"),
        reports(root, "reports"), sysfs(root, "sysfs"), simstate(root, "simstate");
    Response(response);
    Cnffile(cnffile);
    Settings(settings);
    Modem(modem);
    Sim(sim);
    Trace(trace);
    Options(options);
    Reports(reports);
    Sysfs(sysfs);
    Simstate(simstate);
    int count = 0;
    for (const Corpus* c : {&response, &cnffile, &settings, &modem, &sim, &trace, &options,
                            &reports, &sysfs, &simstate}) {
        if (!c->ok()) {
            std::fprintf(stderr, "%s: cannot write the corpus under %s\n", argv[0], argv[1]);
            return 1;
        }
        count += c->count();
    }
    std::printf("%d seeds written\n", count);
    return 0;
}
