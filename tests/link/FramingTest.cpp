// The receiver and the trace's decoder frame a run of bytes alike: whatever the line
// carries, the trace says what the exchange made of it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/Exchangetrace.h"
#include "link/Plcbox.h"
#include "sim/Simdevice.h"
#include "tests/support/Fakes.h"
#include "tests/support/Requests.h"

namespace {

using requests::Bytes;

Bytes With(Bytes front, const Bytes& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

struct StreamCase {
    const char* name;
    Bytes bytes;
    int32_t result;
};

void PrintTo(const StreamCase& c, std::ostream* out) {
    *out << c.name;
}

// What zantir-sim --fault noise sends for an identification read.
Bytes SimulatorNoise() {
    SimDevice device(8, 5);
    device.tables.Link[1] = 2;  // preambles before the answer
    device.faults = {*ParseFault("noise")};
    return device.Handle(requests::Read(0, 0, 17)).bytes;
}

class SameFraming : public testing::TestWithParam<StreamCase> {};

TEST_P(SameFraming, ReceiverAndTraceGiveTheSameVerdict) {
    const StreamCase& c = GetParam();
    FakeClock clock;
    ScriptedPort port(clock);
    LinkEngine engine{0};
    engine.Port = &port;
    engine.Clock = &clock;
    engine.Attempts = 1;
    port.Answer(c.bytes);
    const Bytes read = {0, 0, 17, 0, 0, 0};
    engine.ExecuteCommand(TableExchange, read.data(), read.size());
    EXPECT_EQ(engine.ResultCode, c.result);
    const FrameMeaning meaning = DecodeFrame(c.bytes, false);
    EXPECT_EQ(meaning.Result, c.result) << meaning.Text;
    if (c.result == ResultOk) {
        EXPECT_NE(meaning.Text.find(", принято, чтение табл. 0"), std::string::npos)
            << meaning.Text;
    }
}

const Bytes Ident = IdentResponse();
const Bytes Other = ResponseFrame(TableExchange | AcceptedBit, {0, 0, 1, 8}, 5);

INSTANTIATE_TEST_SUITE_P(
    Streams, SameFraming,
    testing::Values(
        StreamCase{"clean", Ident, ResultOk},
        StreamCase{"simulatorNoise", SimulatorNoise(), ResultOk},
        StreamCase{"strayStarts", With({0x33, 0x12, 0x33, 0x33}, Ident), ResultOk},
        StreamCase{"preamblesAfterNoise", With({0x00, 0xFF, 0xFF}, Ident), ResultOk},
        StreamCase{"otherAddressFirst", With(Other, Ident), ResultOk},
        StreamCase{"otherAddressOnly", Other, ResultNoAnswer},
        StreamCase{"shortLengthThenFrame", With({0x33, 0x00, 0x05}, Ident), ResultOk},
        // A false start with a long length swallows the real frame: never complete.
        StreamCase{"falseStartSwallowsFrame", With({0x33, 0x00, 0x40}, Ident), ResultIncomplete},
        StreamCase{"truncated", Bytes(Ident.begin(), Ident.begin() + 9), ResultIncomplete},
        StreamCase{"startAndAddressOnly", {0x33, 0x00}, ResultIncomplete},
        StreamCase{"startOnly", {0x12, 0x33}, ResultNoAnswer},
        StreamCase{"checkSum", With(Bytes(Ident.begin(), Ident.end() - 1), {0x00}), ResultCheckSum},
        StreamCase{"otherFunctionAccepted", ResponseFrame(0x9E, {0, 0, 17}), ResultRefused},
        StreamCase{"refused", ResponseFrame(TableExchange, {9}), ResultRefused},
        StreamCase{"valve", ResponseFrame(TableExchange, {DeviceErrorValve, 1}), ResultValve},
        StreamCase{"ownRequestEchoed", requests::Read(0, 0, 17), ResultNoAnswer}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
