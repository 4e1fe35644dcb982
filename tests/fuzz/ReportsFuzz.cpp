// What zantir-cli prints, over whatever a configuration file, the device, the device
// tree and the port links may hold. The input:
//   8 bytes      table 7 as the device reports it;
//   1247 bytes   configuration A, as a .cnf file holds it (its identification is the
//                device's for the ident report);
//   1 byte n     and n changes of three bytes (offset, low byte first, and value) that
//                make configuration B of A;
//   5 bytes      the found ports: their count (bits 0..2), which are USB, which may be
//                opened; which COM numbers are present, which reach a found port;
//   the rest     the ports' and links' texts, separated by NUL bytes, used in turn.
// Missing bytes count as 0. Every text report is lines of text that the terminal only
// shows, one per item; every JSON report is one valid JSON line.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Report.h"
#include "config/Codepage.h"
#include "config/Configrecord.h"
#include "config/Identtext.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/support/Jsoncheck.h"

namespace {

// The input read from its start; past its end every byte is 0.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    void Take(void* out, size_t count) {
        auto* bytes = static_cast<uint8_t*>(out);
        for (size_t i = 0; i < count; ++i) {
            bytes[i] = Byte();
        }
    }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        if (at_ >= size_) {
            return texts;
        }
        texts.emplace_back();
        for (; at_ < size_; ++at_) {
            if (data_[at_] == 0) {
                texts.emplace_back();
            } else {
                texts.back().push_back(static_cast<char>(data_[at_]));
            }
        }
        return texts;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

class Texts {
public:
    explicit Texts(std::vector<std::string> texts) : texts_(std::move(texts)) {}
    std::string Next() { return texts_.empty() ? std::string() : texts_[next_++ % texts_.size()]; }

private:
    std::vector<std::string> texts_;
    size_t next_ = 0;
};

// The lines of a text report, each without its '\n'; the report ends with one. Each line
// is valid UTF-8 without a control character, DEL, a C1 control or a line or paragraph
// separator; tab, where the report separates its columns with it, is the one exception.
std::vector<std::string> CheckedLines(const std::string& text, bool tabs) {
    std::vector<std::string> lines;
    FUZZ_CHECK(text.empty() || text.back() == '\n');
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& line : lines) {
        size_t pos = 0;
        while (pos < line.size()) {
            char32_t c = 0;
            FUZZ_CHECK(NextCodePoint(line, pos, c));
            FUZZ_CHECK(!IsControlCharacter(c) || (tabs && c == '\t'));
            FUZZ_CHECK(c != 0x2028 && c != 0x2029);
        }
    }
    return lines;
}

void CheckJson(const std::string& json) {
    FUZZ_CHECK(!json.empty() && json.back() == '\n');
    FUZZ_CHECK(json.find('\n') == json.size() - 1);
    FUZZ_CHECK(jsoncheck::ValidJson(json));
}

void CheckConfigReports(const ConfigRecord& a, const ConfigRecord& b,
                        const std::array<uint8_t, TableCount>& table7) {
    CheckedLines(ShowReport(a, false), false);
    CheckJson(ShowReport(a, true));

    FUZZ_CHECK(CompareConfigs(a, a).empty());
    const std::vector<ConfigDifference> differences = CompareConfigs(a, b);
    FUZZ_CHECK(CheckedLines(DiffReport(differences, false), false).size() == differences.size());
    CheckJson(DiffReport(differences, true));

    FUZZ_CHECK(CheckedLines(IdentReport(a.Ident.data(), false), false).size() ==
               static_cast<size_t>(IdentRowCount));
    CheckJson(IdentReport(a.Ident.data(), true));

    CheckedLines(StateReport(table7, false), true);
    CheckJson(StateReport(table7, true));
}

void CheckPortsReport(Input& input) {
    std::array<uint8_t, 5> flags{};
    input.Take(flags.data(), flags.size());
    Texts texts{input.Texts()};

    std::vector<FoundPort> found(flags[0] & 7);
    for (size_t k = 0; k < found.size(); ++k) {
        FoundPort& port = found[k];
        port.Name = texts.Next();
        port.Device = texts.Next();
        port.ById = texts.Next();
        port.Driver = texts.Next();
        port.Uart = texts.Next();
        port.Usb = (flags[1] >> k) & 1;
        port.Manufacturer = texts.Next();
        port.Product = texts.Next();
        port.VendorId = texts.Next();
        port.ProductId = texts.Next();
        port.SerialNumber = texts.Next();
        port.MayOpen = (flags[2] >> k) & 1;
        port.Group = texts.Next();
    }
    std::vector<ComBinding> bindings(ComPortCount);
    for (size_t n = 0; n < bindings.size(); ++n) {
        ComBinding& binding = bindings[n];
        binding.Number = static_cast<int>(n + 1);
        binding.Link = texts.Next();
        binding.Target = texts.Next();
        binding.Present = (flags[3] >> n) & 1;
        if (!found.empty() && ((flags[4] >> n) & 1)) {
            binding.Port = &found[n % found.size()];
        }
    }
    const std::vector<const FoundPort*> unbound = UnboundPorts(found, bindings);
    // One line for each COM number, then a heading and one line for each port left over.
    const size_t lines = bindings.size() + (unbound.empty() ? 0 : 1 + unbound.size());
    FUZZ_CHECK(CheckedLines(PortsReport(bindings, unbound, false), false).size() == lines);
    CheckJson(PortsReport(bindings, unbound, true));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static_assert(sizeof(ConfigRecord) == ConfigRecordSize);
    Input input{data, size};
    std::array<uint8_t, TableCount> table7{};
    input.Take(table7.data(), table7.size());
    ConfigRecord a;
    input.Take(&a, sizeof a);
    ConfigRecord b = a;
    const uint8_t changes = input.Byte();
    for (int i = 0; i < changes; ++i) {
        const size_t offset = input.Byte() | static_cast<size_t>(input.Byte()) << 8;
        const uint8_t value = input.Byte();
        reinterpret_cast<uint8_t*>(&b)[offset % sizeof b] = value;
    }
    CheckConfigReports(a, b, table7);
    CheckPortsReport(input);
    return 0;
}
