// The link's receiver and its response checks, over whatever bytes a line delivers after
// a request. The first input byte steers the run:
//   bit 0     repairs the check sum of the frame that starts at the first start symbol,
//             so that the checks behind the check sum are reached as well;
//   bits 1..4 space the bytes 0..15 ms apart, across the 10 ms gap limit;
//   bits 5..7 choose the device address, the start symbols among them.
// The rest arrives on the line, 5 ms after RTS drops.
#include <algorithm>
#include <array>
#include <vector>

#include "link/Plcbox.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/support/Fakes.h"

namespace {

constexpr std::array<uint8_t, 8> Addresses = {0, 1, 3, ResponseStart, RequestStart, 255, 0, 0};

void RepairCheckSum(std::vector<uint8_t>& line) {
    const auto start = std::find(line.begin(), line.end(), ResponseStart);
    const size_t at = static_cast<size_t>(start - line.begin());
    if (line.size() < at + 3) {
        return;
    }
    const size_t length = line[at + 2];
    if (length < FrameOverhead || line.size() < at + length) {
        return;
    }
    const uint16_t sum = FrameCheckSum(&line[at], static_cast<uint16_t>(length - 2));
    line[at + length - 2] = static_cast<uint8_t>(sum & 0xFF);
    line[at + length - 1] = static_cast<uint8_t>(sum >> 8);
}

bool IsLinkResult(int32_t code) {
    switch (code) {
        case ResultOk:
        case ResultIncomplete:
        case ResultCheckSum:
        case ResultRefused:
        case ResultNoAnswer:
        case ResultValve:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t control = data[0];
    std::vector<uint8_t> line(data + 1, data + size);
    if (control & 1) {
        RepairCheckSum(line);
    }
    const auto spacing = std::chrono::milliseconds((control >> 1) & 0x0F);
    const uint8_t address = Addresses[control >> 5];

    FakeClock clock;
    ScriptedPort port{clock};
    LinkEngine engine{address};
    engine.Port = &port;
    engine.Clock = &clock;
    engine.Attempts = 1;
    port.Answer(line, std::chrono::milliseconds(5), spacing);
    const std::array<uint8_t, 6> identRead = {0, 0, 17, 0, 0, 0};
    const bool ok = engine.ExecuteCommand(TableExchange, identRead.data(), identRead.size());

    const int32_t result = engine.ResultCode;
    FUZZ_CHECK(IsLinkResult(result));
    FUZZ_CHECK(ok == (result == ResultOk));
    const bool wholeFrame = result == ResultOk || result == ResultCheckSum ||
                            result == ResultRefused || result == ResultValve;
    if (wholeFrame) {
        const auto& response = engine.ResponseBuffer;
        const size_t length = response[2];
        FUZZ_CHECK(length >= FrameOverhead);
        FUZZ_CHECK(response[0] == ResponseStart && response[1] == address);
        // What was taken is a run of the line's bytes as they came, not a splice.
        FUZZ_CHECK(std::search(line.begin(), line.end(), response.begin(),
                               response.begin() + static_cast<long>(length)) != line.end());
        const bool sumOk = FrameCheckSum(response.data(), static_cast<uint16_t>(length)) == 0;
        FUZZ_CHECK(sumOk == (result != ResultCheckSum));
        if (sumOk) {
            FUZZ_CHECK((response[3] == (TableExchange | AcceptedBit)) == (result == ResultOk));
        }
    }
    if (result == ResultRefused) {
        FUZZ_CHECK(!engine.MessageText.empty());
    }
    FUZZ_CHECK(!engine.ResultText().empty());
    FUZZ_CHECK(!engine.CommandSummary().empty());
    // One attempt, one request on the line.
    FUZZ_CHECK(port.EventsOf(PortEvent::Write).size() == 1);
    return 0;
}
