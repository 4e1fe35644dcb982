// The simulator's side of a request: the device's frame check and table exchange, and
// the modem's command interpreter in front of it. The first input byte steers the run:
//   bit 0     repairs the check sum at the end of every request;
//   bits 1..3 a fault the device injects: none, silent, noise, badcrc, gap, echo, a valve
//             refusal, refusal 13;
//   bit 4     table 6 starts destroyed, so that its rewriting is followed;
//   bits 5..6 the device's software version, 3..6;
//   bit 7     the requests go to a modem (commands, a call, "+++") instead.
// The rest is a series of requests, each one length byte and that many bytes, 600 ms
// apart. Every answer is taken by the program's own receiver as the device meant it.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "config/Configimage.h"
#include "config/Devicetables.h"
#include "link/Plcbox.h"
#include "sim/Simdevice.h"
#include "sim/Simmodem.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/support/Fakes.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::array<const char*, 8> Faults = {
    "", "silent", "noise", "badcrc", "gap", "echo", "refuse:24", "refuse:13",
};

std::vector<Bytes> Requests(const uint8_t* data, size_t size) {
    std::vector<Bytes> requests;
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        requests.emplace_back(data + at + 1, data + at + 1 + length);
        at += 1 + length;
    }
    return requests;
}

void RepairCheckSum(Bytes& frame) {
    if (frame.size() < 2 || frame.size() > MaxFrameLength) {
        return;
    }
    const uint16_t sum = FrameCheckSum(frame.data(), static_cast<uint16_t>(frame.size() - 2));
    frame[frame.size() - 2] = static_cast<uint8_t>(sum & 0xFF);
    frame[frame.size() - 1] = static_cast<uint8_t>(sum >> 8);
}

// What the program's receiver makes of an answer.
int32_t Received(const Bytes& answer, uint8_t address) {
    FakeClock clock;
    ScriptedPort port{clock};
    LinkEngine engine{address};
    engine.Port = &port;
    engine.Clock = &clock;
    engine.Attempts = 1;
    port.Answer(answer);
    const std::array<uint8_t, 6> identRead = {0, 0, 17, 0, 0, 0};
    engine.ExecuteCommand(TableExchange, identRead.data(), identRead.size());
    return engine.ResultCode;
}

void CheckAnswer(const SimDevice& device, const SimTables& before, const SimAnswer& answer,
                 const std::string& fault) {
    // Nothing but an accepted write changes the tables.
    if (!answer.stored) {
        FUZZ_CHECK(std::memcmp(&before, &device.tables, sizeof before) == 0);
    }
    if (answer.bytes.empty()) {
        FUZZ_CHECK(!answer.stored);
        return;
    }
    const int32_t received = Received(answer.bytes, device.address);
    if (fault == "badcrc") {
        FUZZ_CHECK(received == ResultCheckSum);
        return;
    }
    if (fault == "gap") {
        FUZZ_CHECK(received == ResultIncomplete);
        return;
    }
    if (fault == "noise") {
        FUZZ_CHECK(received == ResultOk || received == ResultRefused || received == ResultValve);
        return;
    }
    // Preambles as table 3 now says, then one whole frame from this address.
    const size_t preambles = device.tables.Link[1];
    FUZZ_CHECK(answer.bytes.size() >= preambles + FrameOverhead);
    FUZZ_CHECK(std::all_of(answer.bytes.begin(), answer.bytes.begin() + preambles,
                           [](uint8_t b) { return b == PreambleByte; }));
    const Bytes frame(answer.bytes.begin() + static_cast<long>(preambles), answer.bytes.end());
    FUZZ_CHECK(frame[0] == ResponseStart && frame[1] == device.address);
    FUZZ_CHECK(frame[2] == frame.size());
    FUZZ_CHECK(FrameCheckSum(frame.data(), static_cast<uint16_t>(frame.size())) == 0);
    const bool accepted = frame[3] == (TableExchange | AcceptedBit);
    FUZZ_CHECK(accepted || frame[3] == TableExchange);
    FUZZ_CHECK(!answer.stored || accepted);
    if (accepted) {
        FUZZ_CHECK(received == ResultOk);
    } else {
        FUZZ_CHECK(received == (frame[4] == DeviceErrorValve ? ResultValve : ResultRefused));
    }
}

void ToDevice(SimDevice& device, const std::vector<Bytes>& requests, bool repair,
              const std::string& fault) {
    for (Bytes request : requests) {
        if (repair) {
            RepairCheckSum(request);
        }
        const SimTables before = device.tables;
        const SimAnswer answer = device.Handle(request);
        CheckAnswer(device, before, answer, fault);
    }
}

void ToModem(SimDevice& device, const std::vector<Bytes>& requests) {
    SimModem modem{{}};
    LinkTime now{std::chrono::seconds(1000)};
    for (const Bytes& request : requests) {
        const Bytes passed = modem.FromComputer(request.data(), request.size(), now);
        if (!passed.empty()) {
            device.Handle(passed);
        }
        now += std::chrono::milliseconds(600);
        modem.Tick(now);
        modem.TakeOutput();
        modem.TakeEvents();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t control = data[0];
    const uint8_t version = static_cast<uint8_t>(3 + ((control >> 5) & 3));
    SimDevice device{DeviceTypeCode, version};
    const std::string fault = Faults[(control >> 1) & 7];
    if (!fault.empty()) {
        const std::optional<SimFault> parsed = ParseFault(fault);
        FUZZ_CHECK(parsed.has_value());
        device.faults.push_back(*parsed);
    }
    if (control & 0x10) {
        device.Destroy(FlowComputerTable.Number);
    }
    const std::vector<Bytes> requests = Requests(data + 1, size - 1);
    if (control & 0x80) {
        ToModem(device, requests);
    } else {
        ToDevice(device, requests, control & 1, fault);
    }
    return 0;
}
