// What reaches stdout and the terminal: differences of configurations, JSON that stays
// valid whatever a file holds, and the retry answers of a terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Report.h"
#include "cli/Terminal.h"
#include "tests/support/Jsoncheck.h"

namespace {

ConfigRecord Sample() {
    ConfigRecord r = NewConfigRecord(5);
    r.LinkParams[UpperLevelBaudCode] = 11;
    r.FlowComputers[12] = {1, 2, 11};
    r.FlowComputers[200] = {0, 0, 15};  // not connected, its code kept
    std::memcpy(r.ModemInit.data(), "AT&F\r", 5);
    return r;
}

}  // namespace

TEST(CliReport, DiffNamesEachChangedFieldInTheWordsOfShow) {
    const ConfigRecord a = Sample();
    EXPECT_TRUE(CompareConfigs(a, a).empty());
    EXPECT_EQ(DiffReport(CompareConfigs(a, a), false), "");

    ConfigRecord b = a;
    b.FlowComputers[12].Port = 3;
    b.FlowComputers[13] = {1, 1, 15};
    b.LinkParams[AccessPriority] = 0;
    EXPECT_EQ(DiffReport(CompareConfigs(a, b), false),
              "Приоритет: Низкий -> Высокий\n"
              "Вычислитель 12: B 9600 -> C 9600\n"
              "Вычислитель 13: Нет -> A 19200\n");

    // A disconnected computer is shown by show only when connected.
    const std::string shown = ShowReport(a, false);
    EXPECT_NE(shown.find("Вычислитель 12: B 9600\n"), std::string::npos);
    EXPECT_EQ(shown.find("Вычислитель 200"), std::string::npos);
    EXPECT_NE(shown.find("Строка инициализации модема: AT&F\n"), std::string::npos);
}

TEST(CliReport, RtsControlIsComparedWhenEitherVersionHasIt) {
    ConfigRecord v3 = Sample();
    v3.Ident[IdentSoftwareVersion] = 3;
    ConfigRecord v5 = v3;
    v5.Ident[IdentSoftwareVersion] = 5;
    v5.LinkParams[UpperLevelRtsControl] = 1;
    EXPECT_EQ(ShowReport(v3, false).find("RTS"), std::string::npos);
    ASSERT_EQ(CompareConfigs(v3, v5).size(), 1u);
    EXPECT_EQ(CompareConfigs(v3, v5)[0].B, "Требуется");
}

// Windows-1251 in the file, UTF-8 on the terminal: converted once.
TEST(CliReport, ModemStringIsConvertedOnce) {
    ConfigRecord r = Sample();
    std::memcpy(r.ModemInit.data(), "AT\xCC\xEE\xE4\xE5\xEC\r", 9);  // "ATМодем"
    EXPECT_NE(ShowReport(r, false).find("Строка инициализации модема: ATМодем\n"),
              std::string::npos)
        << ShowReport(r, false);
    EXPECT_NE(ShowReport(r, true).find("\"modem\":\"ATМодем\""), std::string::npos);
}

TEST(CliReport, JsonEscapesWhatAFileHolds) {
    ConfigRecord r = Sample();
    std::memcpy(r.ModemInit.data(), "AT\"\\\x01\r", 6);
    const std::string json = ShowReport(r, true);
    EXPECT_NE(json.find("\"modem\":\"AT\\\"\\\\\\u0001\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"address\":12,\"port\":\"B\",\"rate\":9600}"), std::string::npos);
}

// A hostile text as a .cnf modem string (Windows-1251) and as the names a USB adapter
// gives itself or a link's target (any bytes) hold it.
struct HostileText {
    const char* name;
    std::string bytes;
    const char* modemShown;  // show's modem line
    const char* nameShown;   // the adapter's name in ports
};

void PrintTo(const HostileText& c, std::ostream* out) {
    *out << c.name;
}

size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// No byte that ends a line early or drives a terminal: no C0 control but the line's own
// end, no DEL, no C1 control, no line separator, nothing that is not UTF-8.
void ExpectHarmless(const std::string& text, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(jsoncheck::ValidUtf8(text)) << text;
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        EXPECT_TRUE((byte >= 0x20 && byte != 0x7F) || byte == '\n') << "byte " << int{byte};
    }
    for (const char* raw : {"\xC2\x80", "\xC2\x85", "\xC2\x9B", "\xC2\x9F", "\xE2\x80\xA8"}) {
        EXPECT_EQ(text.find(raw), std::string::npos) << text;
    }
}

class HostileTexts : public testing::TestWithParam<HostileText> {};

TEST_P(HostileTexts, StayOnTheirLineAndKeepJsonValid) {
    const HostileText& c = GetParam();
    const ConfigRecord a = Sample();
    ConfigRecord b = a;
    b.ModemInit.fill(0);
    std::memcpy(b.ModemInit.data(), c.bytes.data(), std::min(c.bytes.size(), size_t{60}));
    FoundPort adapter;
    adapter.Device = "/dev/ttyUSB0";
    adapter.Usb = true;
    adapter.Manufacturer = adapter.Product = adapter.SerialNumber = c.bytes;
    const FoundPort other = adapter;
    const std::vector<ComBinding> bindings = {
        {1, "/p/PORTS/COM1", "/dev/ttyUSB0", true, &adapter},
        {2, "/p/PORTS/COM2", "/p/" + c.bytes, false, nullptr}};

    const std::string show = ShowReport(b, false);
    const std::string diff = DiffReport(CompareConfigs(a, b), false);
    const std::string ports = PortsReport(bindings, {&other}, false);
    ExpectHarmless(show, "show");
    ExpectHarmless(diff, "diff");
    ExpectHarmless(ports, "ports");
    EXPECT_EQ(Lines(show), Lines(ShowReport(a, false)));
    EXPECT_EQ(Lines(diff), 1u);
    EXPECT_EQ(Lines(ports), 4u) << ports;
    EXPECT_NE(show.find(std::string("Строка инициализации модема: ") + c.modemShown + "\n"),
              std::string::npos)
        << show;
    EXPECT_NE(ports.find(std::string("COM1 — /dev/ttyUSB0, ") + c.nameShown + "\n"),
              std::string::npos)
        << ports;

    for (const std::string& json : {ShowReport(b, true), DiffReport(CompareConfigs(a, b), true),
                                    PortsReport(bindings, {&other}, true)}) {
        EXPECT_TRUE(jsoncheck::ValidJson(json)) << json;
        ExpectHarmless(json, "json");
        EXPECT_EQ(Lines(json), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, HostileTexts,
    testing::Values(HostileText{"lineFeed", "AT\nCOM9 - forged", "AT\\nCOM9 - forged",
                                "AT\\nCOM9 - forged"},
                    // The modem string ends at its carriage return; a name goes on.
                    HostileText{"carriageReturn", "X\rY", "X", "X\\rY"},
                    HostileText{"clearScreen", "\x1B[2J\x1B]0;t\x07", "\\e[2J\\e]0;t\\x07",
                                "\\e[2J\\e]0;t\\x07"},
                    HostileText{"tabAndDelete", "a\tb\x7F", "a\\tb\\x7F", "a\\tb\\x7F"},
                    // Windows-1251 has a character for every byte but 0x98, kept as the C1 U+0098.
                    HostileText{"upperHalf", "\x80\x81\x98\x9B\xC0\xFF", "ЂЃ\\u0098›Ая",
                                "\\x80\\x81\\x98\\x9B\\xC0\\xFF"},
                    HostileText{"loneLead", "Ad\xC3", "AdГ", "Ad\\xC3"},
                    HostileText{"overlongSlash", "\xC0\xAF..", "АЇ..", "\\xC0\\xAF.."},
                    HostileText{"utf8Controls",
                                "\xC2\x9B"
                                "2J\xC2\x85",
                                "В›2JВ…", "\\u009B2J\\u0085"},
                    HostileText{"lineSeparator",
                                "a\xE2\x80\xA8"
                                "b",
                                "aвЂЁb", "a\\u2028b"},
                    HostileText{"cyrillic", "Адаптер", "РђРґР°РїС‚РµСЂ", "Адаптер"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliReport, StateListsConfigurationTablesAndAnyOtherDestroyedOne) {
    EXPECT_EQ(StateReport({0, 0, 0, 0, 0, 0, 1, 0}, false),
              "3\tНет\tПараметры связи\n"
              "5\tНет\tКомандная строка модема\n"
              "6\tДа\tСкорость обмена с подкл. вычислителем и порт подключения\n");
    EXPECT_NE(StateReport({0, 1, 0, 0, 0, 0, 0, 0}, false).find("1\tДа\t"), std::string::npos);
}

TEST(CliTerminal, RetryBudgetAnswersYesThenNo) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Terminal budget(2, true, out, nullptr);  // a budget is used even on a terminal
    EXPECT_TRUE(budget.ShowMessage(MessageRetry, "Не выполнено чтение из таблицы 0.", "x"));
    EXPECT_TRUE(budget.ShowMessage(MessageRetry, "Не выполнено чтение из таблицы 0.", "x"));
    EXPECT_FALSE(budget.ShowMessage(MessageRetry, "Не выполнено чтение из таблицы 0.", "x"));
    Terminal script(-1, false, out, nullptr);
    EXPECT_FALSE(script.ShowMessage(MessageRetry, "a", "b"));

    std::FILE* in = std::tmpfile();
    ASSERT_NE(in, nullptr);
    std::fputs("д\nн\n", in);
    std::rewind(in);
    Terminal ask(-1, true, out, in);
    EXPECT_TRUE(ask.ShowMessage(MessageRetry, "a", "b"));
    EXPECT_FALSE(ask.ShowMessage(MessageRetry, "a", "b"));
    EXPECT_FALSE(ask.ShowMessage(MessageRetry, "a", "b"));  // end of input is no
    std::rewind(out);
    char text[4096] = {};
    EXPECT_GT(std::fread(text, 1, sizeof text - 1, out), 0u);
    EXPECT_NE(std::string(text).find("x Повторить попытку? Да\n"), std::string::npos);
    std::fclose(in);
    std::fclose(out);
}
