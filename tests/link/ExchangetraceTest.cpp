#include "link/Exchangetrace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Plcbox.h"
#include "tests/support/Fakes.h"
#include "tests/support/Requests.h"

namespace {

using requests::Bytes;

Bytes With(Bytes front, const Bytes& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

struct DecodeCase {
    const char* name;
    Bytes bytes;
    bool request;
    int32_t result;
    const char* text;
};

class Decoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, SaysWhatTheFrameCarriesOrWhichCheckItFails) {
    const DecodeCase& c = GetParam();
    const FrameMeaning meaning = DecodeFrame(c.bytes, c.request);
    EXPECT_EQ(meaning.Result, c.result);
    EXPECT_EQ(meaning.Text, c.text);
}

const Bytes Accepted = ResponseFrame(TableExchange | AcceptedBit, {3, 2, 2, 0x25, 0x80});
const Bytes Destroyed = ResponseFrame(TableExchange, {60, 0, 5});

INSTANTIATE_TEST_SUITE_P(
    Frames, Decoding,
    testing::Values(
        DecodeCase{"read", With({0xFF, 0xFF}, requests::Read(6, 130, 126)), true, ResultOk,
                   "запрос, преамбул 2, адрес 0, длина 12, функция 29, чтение табл. 6 с поля 130, "
                   "полей 126"},
        DecodeCase{"write", requests::Request({0, 0, 0, 3, 4, 2, 0x12, 0x34}), true, ResultOk,
                   "запрос, адрес 0, длина 14, функция 29, запись табл. 3 с поля 4, полей 2: 12 "
                   "34"},
        DecodeCase{"nothing", requests::Request({0, 0, 0, 0, 0, 0}), true, ResultOk,
                   "запрос, адрес 0, длина 12, функция 29, ничего"},
        DecodeCase{"accepted", With({0xFF, 0xFF, 0xFF}, Accepted), false, ResultOk,
                   "ответ, преамбул 3, адрес 0, длина 11, функция 29, принято, чтение табл. 3 с "
                   "поля 2, полей 2: 25 80"},
        DecodeCase{"refusedDestroyed", Destroyed, false, ResultRefused,
                   "ответ, адрес 0, длина 9, функция 29, отказ: код 60 \"Разрушена таблица\", "
                   "таблица 5"},
        DecodeCase{"refusedUnknownCode", ResponseFrame(TableExchange, {200}), false, ResultRefused,
                   "ответ, адрес 0, длина 7, функция 29, отказ: код 200"},
        DecodeCase{"noStart",
                   {0xFF, 0x12, 0x00},
                   false,
                   ResultNoAnswer,
                   "ответ, преамбул 1, 2 байт без начала кадра: Устройство не отвечает"},
        // The other side's start symbol is no start for this one.
        DecodeCase{"requestStartInAnswer", requests::Read(0, 0, 17), false, ResultNoAnswer,
                   "ответ, 12 байт без начала кадра: Устройство не отвечает"},
        DecodeCase{"requestWithoutStart",
                   {0x12, 0x00},
                   true,
                   ResultBadStart,
                   "запрос, 2 байт без начала кадра: Неверно задан стартовый символ"},
        DecodeCase{"noiseThenFrame", With({0x00, 0x7E}, Accepted), false, ResultOk,
                   "ответ, 2 байт до начала кадра, адрес 0, длина 11, функция 29, принято, "
                   "чтение табл. 3 с поля 2, полей 2: 25 80"},
        DecodeCase{"checkSum", With(Bytes(Accepted.begin(), Accepted.end() - 1), {0x00}), false,
                   ResultCheckSum, "ответ, адрес 0, длина 11: Несовпадение КС ответа контроллера"},
        DecodeCase{"cutShort", Bytes(Accepted.begin(), Accepted.begin() + 7), false,
                   ResultIncomplete,
                   "ответ, адрес 0, длина 11: Ответ получен не полностью (превышено время между "
                   "байтами) (7 из 11 байт)"},
        DecodeCase{"startOnly",
                   {0x33, 0x00},
                   false,
                   ResultIncomplete,
                   "ответ: Ответ получен не полностью (превышено время между байтами) (2 байт)"},
        // A length below 6 restarts the search, as in the receiver.
        DecodeCase{"lengthTooSmall",
                   {0x33, 0x00, 0x03, 0x9D},
                   false,
                   ResultNoAnswer,
                   "ответ, 4 байт без начала кадра: Устройство не отвечает"},
        DecodeCase{"otherFunctionAccepted", ResponseFrame(0x9E, {4}), false, ResultRefused,
                   "ответ, адрес 0, длина 7, функция 30 вместо 29, отказ: код 4 \"Неправильные "
                   "параметры в запросе\""},
        DecodeCase{"trailing", With(Accepted, {0xFF}), false, ResultOk,
                   "ответ, адрес 0, длина 11, функция 29, принято, чтение табл. 3 с поля 2, "
                   "полей 2: 25 80, за кадром ещё 1 байт"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Recorder final : ExchangeTrace {
    void Record(const TraceEvent& event) override { events.push_back(event); }
    std::vector<TraceEvent> events;
};

struct TracedExchange : testing::Test {
    void SetUp() override {
        auto scripted = std::make_unique<ScriptedPort>(clock);
        inner = scripted.get();
        port = TracedPort(std::move(scripted), trace);
        engine.Port = port.get();
        engine.Clock = &clock;
        engine.Attempts = 1;
        engine.Trace = &trace;
    }
    bool ReadIdent() {
        inner->Answer(IdentResponse());
        const Bytes data = {0, 0, 17, 0, 0, 0};
        return engine.ExecuteCommand(TableExchange, data.data(), data.size());
    }

    FakeClock clock;
    Recorder trace;
    ScriptedPort* inner = nullptr;
    TransportHandle port;
    LinkEngine engine{0};
};

TEST_F(TracedExchange, TellsEveryStepOfAnExchangeInOrderAndPassesItOn) {
    ASSERT_TRUE(ReadIdent());
    using Kind = TraceEvent::Kind;
    std::vector<Kind> kinds;
    for (const TraceEvent& event : trace.events) {
        kinds.push_back(event.kind);
    }
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::Command, Kind::Rate, Kind::Purge, Kind::Dtr,
                                        Kind::Rts, Kind::Sent, Kind::Rts, Kind::RtsDropError,
                                        Kind::Received, Kind::Purge}));
    EXPECT_EQ(trace.events[1].Value, engine.BaudRate);
    EXPECT_EQ(trace.events[5].Bytes, requests::Read(0, 0, 17));
    // On this clock RTS drops at its deadline to the nanosecond; each request says how late.
    EXPECT_EQ(TraceText(trace.events[7]).substr(TraceText(trace.events[7]).find("RTS")),
              "RTS снят через 0 мкс после последнего бита");
    EXPECT_NE(TraceJson(trace.events[7]).find("\"event\":\"rts-drop-error\",\"value\":0"),
              std::string::npos);
    EXPECT_EQ(trace.events[8].Bytes, IdentResponse());  // the response as one run
    EXPECT_EQ(inner->EventsOf(PortEvent::Write).at(0).bytes, requests::Read(0, 0, 17));
    const std::string sent = TraceText(trace.events[5]);
    EXPECT_EQ(sent.substr(sent.find("  -> ")),
              "  -> CC 00 0C 1D 00 00 11 00 00 00 7D 6C  | запрос, адрес 0, длина 12, функция 29, "
              "чтение табл. 0 с поля 0, полей 17");
    EXPECT_EQ(TraceJson(trace.events[6]).find("{\"us\":"), 0u);
    EXPECT_NE(TraceJson(trace.events[8]).find("\"event\":\"received\",\"bytes\":\"33 00 1A"),
              std::string::npos);
}

TEST_F(TracedExchange, AnOffTraceRecordsNothingAndTheExchangeIsTheSame) {
    trace.SetEnabled(false);
    ASSERT_TRUE(ReadIdent());
    EXPECT_TRUE(trace.events.empty());
    EXPECT_EQ(inner->EventsOf(PortEvent::Write).size(), 1u);
    EXPECT_EQ(inner->EventsOf(PortEvent::Rts).size(), 2u);
}

TEST(TraceLines, ModemDialogueReadsAsTextAndJsonIsEscaped) {
    TraceEvent sent;
    sent.kind = TraceEvent::Kind::Sent;
    sent.Micros = 12;
    const std::string at = "AT\"Z\r\n";
    sent.Bytes.assign(at.begin(), at.end());
    EXPECT_EQ(TraceText(sent), "        12 µs  -> 41 54 22 5A 0D 0A  | текст \"AT\"Z\\r\\n\"");
    EXPECT_EQ(TraceJson(sent),
              "{\"us\":12,\"event\":\"sent\",\"bytes\":\"41 54 22 5A 0D 0A\","
              "\"text\":\"текст \\\"AT\\\"Z\\\\r\\\\n\\\"\"}");
}

}  // namespace
