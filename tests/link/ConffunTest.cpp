// The table operations against zantir-sim over a pty.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/Stringi.h"
#include "connection/Netsettings.h"
#include "link/Conffun.h"
#include "tests/support/Fakes.h"
#include "tests/support/SimProcess.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct ConffunTest : testing::Test {
    void SetUp() override {
        char pattern[] = "/tmp/zantir-conffun-XXXXXX";
        directory = mkdtemp(pattern);
    }
    void TearDown() override {
        engine.Port = nullptr;
        port.reset();
        sim.reset();
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    void Start(std::vector<std::string> options, int32_t rate = 9600) {
        options.push_back("--log");
        sim = std::make_unique<SimProcess>(directory, std::move(options));
        ASSERT_TRUE(sim->ok());
        LineSettings line;
        line.BaudRate = rate;
        port = OpenComPortAt(sim->LinkPath(), line);
        ASSERT_TRUE(port);
        engine.Port = port.get();
        engine.BaudRate = rate;
        engine.FirstByteTimeout = 800;
        engine.NextByteTimeout = 50;
        engine.Attempts = 1;
        settings.BaudRate = rate;
    }
    // Table exchange headers of the requests the simulator took, in order.
    std::vector<Bytes> Requests() {
        std::vector<Bytes> headers;
        for (const auto& header : RequestHeaders(sim->Stop())) {
            headers.emplace_back(header.begin(), header.end());
        }
        return headers;
    }
    Bytes ImageBytes(size_t offset, size_t count) const {
        return {image.Bytes.begin() + static_cast<long>(offset),
                image.Bytes.begin() + static_cast<long>(offset + count)};
    }
    bool Contains(const std::vector<std::string>& texts, const std::string& text) const {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    fs::path directory;
    std::unique_ptr<SimProcess> sim;
    TransportHandle port;
    LinkEngine engine{0};
    ConfigImage image;
    ConnectionSettings settings;
    RecordingScreen screen{SystemClock()};
    TableAccess access{engine, image, settings, screen};
};

TEST_F(ConffunTest, WholeReadIsSixRequestsInOrder) {
    Start({});
    ASSERT_TRUE(ReadAllTables(access));
    const std::vector<Bytes> expected = {
        {0, 0, 17, 0, 0, 0},  {3, 0, 8, 0, 0, 0},     {5, 0, 1, 0, 0, 0},
        {6, 0, 130, 0, 0, 0}, {6, 130, 125, 0, 0, 0}, {1, 0, 2, 0, 0, 0},
    };
    EXPECT_EQ(Requests(), expected);
    EXPECT_EQ(image.SoftwareVersion(), 5);
    EXPECT_EQ(ImageBytes(LinkTableOffset, 8), (Bytes{11, 3, 5, 1, 0, 0, 10, 1}));
    EXPECT_EQ(image.Bytes[FlowComputerOffset + 1], 0x2B);
    EXPECT_EQ(image.Bytes[FlowComputerOffset + 20], 0x71);  // in the second half
    EXPECT_EQ(ImageBytes(RateMaskOffset, 8), (Bytes{0xFF, 0xFF, 0x3F, 0, 0xFF, 0xFF, 0x3F, 0}));
    EXPECT_EQ(screen.progressMaximum, 6);
    EXPECT_EQ(screen.progress, 6);
    const auto texts = screen.PanelTexts(OperationPanel);
    EXPECT_TRUE(Contains(texts, "Чтение из таблицы 6 (поля 0-130)"));
    EXPECT_TRUE(Contains(texts, "Чтение из таблицы 6 (поля 130-255)"));
    EXPECT_TRUE(Contains(texts, "Чтение из таблицы 5 (поле 0)"));
    EXPECT_EQ(texts.back(), "");
    EXPECT_TRUE(screen.messages.empty());
}

TEST_F(ConffunTest, VersionFourHasSevenFieldsInTableThree) {
    Start({"--version", "4"});
    image.Bytes[LinkTableOffset + UpperLevelRtsControl] = 0x77;
    ASSERT_TRUE(ReadAllTables(access));
    EXPECT_EQ(Requests()[1], (Bytes{3, 0, 7, 0, 0, 0}));
    EXPECT_EQ(image.Bytes[LinkTableOffset + UpperLevelRtsControl], 0x77);  // not the device's
}

TEST_F(ConffunTest, SelectedTablesAreWrittenAndReadBackTheSame) {
    Start({});
    ASSERT_TRUE(ReadAllTables(access));
    image.Bytes[LinkTableOffset + FlowComputerReplyWait] = 99;
    const char modem[] = "ATZ^ATM0\r";
    std::fill_n(&image.Bytes[ModemTableOffset], ModemTable.Bytes(), 0);
    std::copy(modem, modem + sizeof modem - 1, &image.Bytes[ModemTableOffset]);
    for (size_t a = 0; a < FlowComputerTable.Bytes(); ++a) {
        image.Bytes[FlowComputerOffset + a] = static_cast<uint8_t>(0x40 | (a % 22));
    }
    const ConfigImage written = image;
    screen.panels.clear();
    ASSERT_TRUE(WriteSelectedTables(access, {0, 0, 0, 1, 0, 1, 1, 0}));
    EXPECT_EQ(screen.progressMaximum, 4);
    const auto texts = screen.PanelTexts(OperationPanel);
    EXPECT_TRUE(Contains(texts, "Запись в таблицу 6 (поля 0-243)"));
    EXPECT_TRUE(Contains(texts, "Запись в таблицу 6 (поля 243-255)"));
    EXPECT_TRUE(Contains(texts, "Запись в таблицу 5 (поле 0)"));

    image = ConfigImage{};
    ASSERT_TRUE(ReadAllTables(access));
    EXPECT_EQ(image.Bytes, written.Bytes);
    const auto requests = Requests();
    const std::vector<Bytes> writes(requests.begin() + 6, requests.begin() + 10);
    const std::vector<Bytes> expected = {
        {0, 0, 0, 3, 0, 8}, {0, 0, 0, 5, 0, 1}, {0, 0, 0, 6, 0, 243}, {0, 0, 0, 6, 243, 12}};
    EXPECT_EQ(writes, expected);
}

TEST_F(ConffunTest, SilentDeviceAsksAndRetriesOnDa) {
    Start({"--fault", "silent@1"});
    screen.answers = {true};
    ASSERT_TRUE(ReadIdent(access));
    const std::vector<RecordingScreen::Message> asked = {
        {MessageRetry, "Не выполнено чтение из таблицы 0.", "\"Общие параметры идентификации\""}};
    EXPECT_EQ(screen.messages, asked);
    EXPECT_TRUE(Contains(screen.PanelTexts(OperationPanel), "Команда 29.  Устройство не отвечает"));
    EXPECT_EQ(image.Bytes[IdentTypeCode], 8);
}

TEST_F(ConffunTest, NetGivesUpAndCopiesNothing) {
    Start({"--fault", "silent@1"});
    image.Bytes.fill(0xEE);
    EXPECT_FALSE(ReadIdent(access));
    EXPECT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(image.Bytes[IdentTypeCode], 0xEE);
    EXPECT_EQ(screen.PanelTexts(OperationPanel).back(), "");
}

TEST_F(ConffunTest, WrongEchoIsCaughtAndNothingIsCopied) {
    Start({"--fault", "echo@1"});
    image.Bytes.fill(0xEE);
    EXPECT_FALSE(ReadRateMask(access));
    EXPECT_TRUE(Contains(screen.PanelTexts(OperationPanel),
                         "Несоответствие запрошенных и переданных данных"));
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].first, "Не выполнено чтение из таблицы 1.");
    EXPECT_EQ(image.Bytes[RateMaskOffset], 0xEE);
    screen.answers = {true};
    EXPECT_TRUE(ReadRateMask(access));
    EXPECT_EQ(image.Bytes[RateMaskOffset], 0xFF);
}

TEST_F(ConffunTest, FailedWriteNamesTheTable) {
    Start({"--fault", "refuse:12@1"});
    EXPECT_FALSE(WriteSelectedTables(access, {0, 0, 0, 0, 0, 1, 0, 0}));
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].first, "Не выполнена запись в таблицу 5.");
    EXPECT_EQ(screen.messages[0].second, "\"Командная строка модема\"");
    EXPECT_TRUE(Contains(screen.PanelTexts(OperationPanel),
                         "Команда 29.  Запись в таблицу не допускается"));
}

TEST_F(ConffunTest, WritingTableThreeMovesTheLinkToTheNewRate) {
    Start({"--rate", "1200"}, 1200);
    ASSERT_TRUE(ReadAllTables(access));
    ASSERT_EQ(image.Bytes[LinkTableOffset + UpperLevelBaudCode], 11);
    ASSERT_TRUE(WriteSelectedTables(access, {0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(screen.PanelTexts(ConnectionPanel).back(), " COM1,   9600 бит/с");
    EXPECT_EQ(engine.BaudRate, 9600);
    EXPECT_EQ(static_cast<int32_t>(settings.BaudRate), 9600);
    EXPECT_TRUE(ReadIdent(access)) << screen.PanelTexts(OperationPanel).back();
}

TEST_F(ConffunTest, UnknownUpperLevelCodeIsReadAsTwelveHundred) {
    Start({});
    const Bytes table3 = {30, 3, 5, 1, 0, 0, 10, 1};
    ASSERT_TRUE(ExchangeTable(access, WriteRequest(3, 0, 8, table3.data())));
    ASSERT_TRUE(ReadAllTables(access));
    EXPECT_EQ(image.Bytes[LinkTableOffset + UpperLevelBaudCode], 2);
}

TEST_F(ConffunTest, OnlyWhatChangedIsWrittenAndTableSixInRuns) {
    Start({});
    ASSERT_TRUE(ReadAllTables(access));
    ConfigImage snapshot = image;
    EXPECT_EQ(WriteDifferences(access, snapshot), WriteOutcome::NothingChanged);

    for (int a : {1, 2, 9}) {
        image.Bytes[FlowComputerOffset + a] ^= 0x01;
    }
    EXPECT_EQ(WriteDifferences(access, snapshot), WriteOutcome::Written);

    snapshot = image;
    for (int a = 1; a <= 254; ++a) {
        image.Bytes[FlowComputerOffset + a] = 0x2F;
    }
    image.Bytes[ModemTableOffset + 63] = 1;
    EXPECT_EQ(WriteDifferences(access, snapshot), WriteOutcome::Written);
    const auto requests = Requests();
    const std::vector<Bytes> writes(requests.begin() + 6, requests.end());
    const std::vector<Bytes> expected = {{0, 0, 0, 6, 1, 2},
                                         {0, 0, 0, 6, 9, 1},
                                         {0, 0, 0, 5, 0, 1},
                                         {0, 0, 0, 6, 1, 243},
                                         {0, 0, 0, 6, 244, 11}};
    EXPECT_EQ(writes, expected);
}

TEST_F(ConffunTest, NewUpperLevelRateIsFollowedOnADirectLinkOnly) {
    // A telephone link and a network link keep the rate of their modem or converter.
    for (const uint8_t link : {uint8_t{1}, LinkTypeNetwork}) {
        Start({"--rate", "9600"});
        ASSERT_TRUE(ReadAllTables(access));
        const ConfigImage read = image;
        image.Bytes[LinkTableOffset + UpperLevelBaudCode] = 15;  // 19200 bit/s
        settings.LinkType = link;
        EXPECT_EQ(WriteDifferences(access, read), WriteOutcome::Written);
        EXPECT_EQ(engine.BaudRate, 9600);
        EXPECT_FALSE(ReadIdent(access));  // the device has moved on, the link has not
    }
    ConfigImage snapshot = image;

    engine.BaudRate = 19200;
    snapshot = image;
    image.Bytes[LinkTableOffset + UpperLevelBaudCode] = 11;
    settings.LinkType = 0;
    EXPECT_EQ(WriteDifferences(access, snapshot), WriteOutcome::Written);
    EXPECT_EQ(engine.BaudRate, 9600);
    EXPECT_EQ(screen.PanelTexts(ConnectionPanel).back(), " COM1,   9600 бит/с");
    EXPECT_TRUE(ReadIdent(access));
}

// Nothing is asked over a line that has hung up: a retry would reach no device.
TEST_F(ConffunTest, WriteToALineThatVanishedStopsAtTheFirstTable) {
    Start({});
    ASSERT_TRUE(ReadAllTables(access));
    const ConfigImage snapshot = image;
    image.Bytes[LinkTableOffset + AccessPriority] = 0;
    image.Bytes[FlowComputerOffset + 5] = 0x2B;
    sim->Stop();  // the adapter is pulled
    WriteAccount account;
    EXPECT_EQ(WriteDifferences(access, snapshot, &account), WriteOutcome::Failed);
    EXPECT_TRUE(screen.messages.empty());
    EXPECT_TRUE(Contains(screen.PanelTexts(OperationPanel),
                         "Команда 29.  Сбой при выполнении операции записи"));
    ASSERT_EQ(account.Steps.size(), 2u);
    EXPECT_EQ(account.Tables(RequestFate::NotSent), (std::vector<int>{3, 6}));
    EXPECT_EQ(WriteAccountLines(account)[1], "не отправлена: таблица 3, таблица 6 (поле 5)");
}

// What each request did, as the device's answers tell it: the fault hits the request after
// the whole read's six and the given number of writes.
struct WriteFateCase {
    const char* fault;
    std::vector<RequestFate> fates;  // table 3, table 6 fields 1-2, table 6 field 9
    const char* summary;             // the second line, "" when the write completed
};

struct WriteFateTest : ConffunTest, testing::WithParamInterface<WriteFateCase> {};

TEST_P(WriteFateTest, EachRequestIsAccountedFor) {
    Start({"--fault", GetParam().fault});
    ASSERT_TRUE(ReadAllTables(access));
    const ConfigImage snapshot = image;
    image.Bytes[LinkTableOffset + AccessPriority] ^= 1;
    image.Bytes[FlowComputerOffset + 1] = 0x4B;
    image.Bytes[FlowComputerOffset + 2] = 0x4B;
    image.Bytes[FlowComputerOffset + 9] = 0x2B;
    WriteAccount account;
    const WriteOutcome outcome = WriteDifferences(access, snapshot, &account);
    std::vector<RequestFate> fates;
    for (const WriteStep& step : account.Steps) {
        fates.push_back(step.Fate);
    }
    EXPECT_EQ(fates, GetParam().fates);
    EXPECT_EQ(outcome, account.Complete() ? WriteOutcome::Written : WriteOutcome::Failed);
    if (!account.Complete()) {
        EXPECT_EQ(WriteAccountLines(account)[0], WriteInterruptedText);
        EXPECT_EQ(WriteAccountLines(account)[1], GetParam().summary);
    }
    // A request that went out whole is never called "not done" in the retry question.
    for (const auto& message : screen.messages) {
        EXPECT_EQ(message.first.find("Не выполнена"),
                  GetParam().fates.back() == RequestFate::Refused ? 0u : std::string::npos);
    }
}

constexpr RequestFate Confirmed = RequestFate::Confirmed, Unconfirmed = RequestFate::Unconfirmed,
                      Refused = RequestFate::Refused, NotSent = RequestFate::NotSent;

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteFateTest,
    testing::Values(
        WriteFateCase{"badcrc@0", {Confirmed, Confirmed, Confirmed}, ""},
        WriteFateCase{"badcrc+7",
                      {Confirmed, Unconfirmed, NotSent},
                      "подтверждена: таблица 3; не подтверждена: таблица 6 (поля 1-2); не "
                      "отправлена: таблица 6 (поле 9)"},
        WriteFateCase{"gap+6",
                      {Unconfirmed, NotSent, NotSent},
                      "не подтверждена: таблица 3; не отправлена: таблица 6 (поля 1-2), таблица 6 "
                      "(поле 9)"},
        WriteFateCase{"silent+8",
                      {Confirmed, Confirmed, Unconfirmed},
                      "подтверждена: таблица 3, таблица 6 (поля 1-2); не подтверждена: таблица 6 "
                      "(поле 9)"},
        WriteFateCase{"refuse:13+8",
                      {Confirmed, Confirmed, Refused},
                      "подтверждена: таблица 3, таблица 6 (поля 1-2); отклонена устройством: "
                      "таблица 6 (поле 9)"}));

}  // namespace
