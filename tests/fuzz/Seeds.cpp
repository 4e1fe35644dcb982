// Writes the seed corpus of every fuzz target: valid frames and files of each kind and a
// few short broken ones, made with the program's own frame builder and records. Run it
// when a layout or a target's input format changes, and commit what it writes:
//   build-fuzzreplay/fuzz-seeds tests/fuzz/corpus
// It only writes its own file names; seeds added by hand stay.
#include <array>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    Corpus response(root, "response"), cnffile(root, "cnffile"), settings(root, "settings"),
        modem(root, "modem"), sim(root, "sim");
    Response(response);
    Cnffile(cnffile);
    Settings(settings);
    Modem(modem);
    Sim(sim);
    for (const Corpus* c : {&response, &cnffile, &settings, &modem, &sim}) {
        if (!c->ok()) {
            std::fprintf(stderr, "%s: cannot write the corpus under %s\n", argv[0], argv[1]);
            return 1;
        }
    }
    std::printf("%d seeds written\n", response.count() + cnffile.count() + settings.count() +
                                          modem.count() + sim.count());
    return 0;
}
