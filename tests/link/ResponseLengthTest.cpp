// A read whose response carries more or fewer values than it asked for: result 11, the
// retry question, and nothing copied into the image.
#include <gtest/gtest.h>

#include <vector>

#include "link/Conffun.h"
#include "tests/support/Fakes.h"

namespace {

struct Case {
    const char* name;
    uint8_t table;
    uint8_t fields;
    int valueBytes;  // carried by the response
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

struct ResponseLength : testing::TestWithParam<Case> {
    FakeClock clock;
    RecordingScreen screen{clock};
    ScriptedPort port{clock};
    LinkEngine engine{0};
    ConfigImage image;
    ConnectionSettings settings;
    TableAccess access{engine, image, settings, screen};
};

TEST_P(ResponseLength, WrongCountIsResultElevenAndNothingIsCopied) {
    const Case& c = GetParam();
    engine.Port = &port;
    engine.Clock = &clock;
    engine.Attempts = 1;
    // An identification answer first leaves its bytes in the buffer for a short one to expose.
    port.Answer(IdentResponse());
    ASSERT_TRUE(ExchangeTable(access, ReadRequest(0, 0, 17)));
    std::vector<uint8_t> data = {c.table, 0, c.fields};
    data.resize(data.size() + static_cast<size_t>(c.valueBytes), 0x5A);
    port.Answer(ResponseFrame(TableExchange | AcceptedBit, data));
    image.Bytes.fill(0);
    const ConfigImage before = image;
    const bool read = c.table == RateMaskTable.Number ? ReadRateMask(access) : ReadIdent(access);
    EXPECT_FALSE(read);
    EXPECT_EQ(engine.ResultCode, ResultBadLength);
    EXPECT_EQ(engine.ResultText(), "Неправильная длина ответа от контроллера");
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].kind, MessageRetry);
    EXPECT_EQ(image.Bytes, before.Bytes);
}

INSTANTIATE_TEST_SUITE_P(Reads, ResponseLength,
                         testing::Values(Case{"identShort", 0, 17, 16},
                                         Case{"identLong", 0, 17, 18}, Case{"identEmpty", 0, 17, 0},
                                         Case{"rateMasksInBytesNotFields", 1, 2, 2},
                                         Case{"rateMasksShort", 1, 2, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
