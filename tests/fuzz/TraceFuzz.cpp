// The exchange trace's decoder and its lines, over any run of bytes a line carries and
// events of every kind. The input:
//   byte 0      bits 0..2 the event's kind (command, sent, received, rate, RTS, DTR,
//               purge, lost);
//   byte 1      the device address the decoder frames for;
//   bytes 2..9  the event's time in µs, bytes 10..13 its value, both low byte first;
//   the rest    the bytes of the run.
// A missing header byte counts as 0. The text line stays one line of text that the
// terminal only shows, the JSON line is valid, and what the decoder says of a response
// is what the program's receiver makes of the same bytes.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "config/Codepage.h"
#include "link/Exchangetrace.h"
#include "link/Plcbox.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/support/Fakes.h"
#include "tests/support/Jsoncheck.h"

namespace {

constexpr size_t HeaderSize = 14;

uint64_t LittleEndian(const uint8_t* bytes, size_t count) {
    uint64_t value = 0;
    for (size_t i = count; i > 0; --i) {
        value = (value << 8) | bytes[i - 1];
    }
    return value;
}

// Valid UTF-8 without a control character, DEL, a C1 control or a line or paragraph
// separator: text that a terminal or the monitor window shows as it is, on one line.
bool ShownAsIs(const std::string& line) {
    size_t pos = 0;
    while (pos < line.size()) {
        char32_t c = 0;
        if (!NextCodePoint(line, pos, c) || IsControlCharacter(c) || c == 0x2028 || c == 0x2029) {
            return false;
        }
    }
    return true;
}

// What the program's receiver makes of bytes that arrive at once after a table exchange
// request to the device at address.
int32_t Received(const std::vector<uint8_t>& bytes, uint8_t address) {
    FakeClock clock;
    ScriptedPort port{clock};
    LinkEngine engine{address};
    engine.Port = &port;
    engine.Clock = &clock;
    engine.Attempts = 1;
    port.Answer(bytes);
    const std::array<uint8_t, 6> identRead = {0, 0, 17, 0, 0, 0};
    engine.ExecuteCommand(TableExchange, identRead.data(), identRead.size());
    return engine.ResultCode;
}

void CheckMeaning(const FrameMeaning& meaning) {
    FUZZ_CHECK(meaning.Result >= 0 && static_cast<size_t>(meaning.Result) < ResultTexts.size());
    FUZZ_CHECK(ResultTexts[static_cast<size_t>(meaning.Result)] != nullptr);
    FUZZ_CHECK(!meaning.Text.empty() && ShownAsIs(meaning.Text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<uint8_t, HeaderSize> header{};
    std::memcpy(header.data(), data, std::min(size, HeaderSize));
    const std::vector<uint8_t> bytes(data + std::min(size, HeaderSize), data + size);
    const uint8_t address = header[1];

    const FrameMeaning request = DecodeFrame(bytes, true, address);
    CheckMeaning(request);
    const FrameMeaning response = DecodeFrame(bytes, false, address);
    CheckMeaning(response);
    FUZZ_CHECK(response.Result == Received(bytes, address));

    // A request the program builds from these bytes reads as one, whole and sound.
    if (bytes.size() >= 1) {
        std::array<uint8_t, MaxFrameLength> frame{};
        const size_t length = BuildFrame(RequestStart, address, bytes[0], bytes.data() + 1,
                                         std::min(bytes.size() - 1, MaxDataLength), frame.data());
        FUZZ_CHECK(length >= FrameOverhead);
        const std::vector<uint8_t> built(frame.begin(), frame.begin() + static_cast<long>(length));
        const FrameMeaning meaning = DecodeFrame(built, true, address);
        CheckMeaning(meaning);
        FUZZ_CHECK(meaning.Result == ResultOk);
    }

    TraceEvent event;
    event.kind = static_cast<TraceEvent::Kind>(header[0] & 7);
    event.Micros = static_cast<int64_t>(LittleEndian(&header[2], 8));
    event.Value = static_cast<int32_t>(static_cast<uint32_t>(LittleEndian(&header[10], 4)));
    event.Bytes = bytes;

    const std::string text = TraceText(event);
    FUZZ_CHECK(!text.empty() && ShownAsIs(text));
    const bool run =
        event.kind == TraceEvent::Kind::Sent || event.kind == TraceEvent::Kind::Received;
    if (run) {
        // The bytes themselves are on the line, as hex.
        FUZZ_CHECK(text.find(HexBytes(bytes)) != std::string::npos);
    }
    const std::string json = TraceJson(event);
    FUZZ_CHECK(jsoncheck::ValidJson(json));
    FUZZ_CHECK(json.find('\n') == std::string::npos);

    for (const bool heard : {true, false}) {
        const std::string line = DeviceSideText(bytes, heard);
        FUZZ_CHECK(ShownAsIs(line));
        FUZZ_CHECK(line.find(HexBytes(bytes)) != std::string::npos);
    }
    return 0;
}
