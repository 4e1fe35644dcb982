// What reaches stdout and the terminal: differences of configurations, JSON that stays
// valid whatever a file holds, and the retry answers of a terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "cli/Report.h"
#include "cli/Terminal.h"

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
