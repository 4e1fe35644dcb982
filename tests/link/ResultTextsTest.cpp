#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/Plcbox.h"
#include "tests/support/Fakes.h"

namespace {

struct RefusalTest : testing::Test {
    void SetUp() override {
        engine.Port = &port;
        engine.Clock = &clock;
        engine.Attempts = 1;
    }
    // Runs an identification read that the device answers with `answer` (none: silent).
    bool Run(const std::vector<uint8_t>& answer) {
        if (!answer.empty()) {
            port.Answer(answer);
        }
        const std::vector<uint8_t> header = {0, 0, 17, 0, 0, 0};
        return engine.ExecuteCommand(TableExchange, header.data(), header.size());
    }
    std::vector<uint8_t> Refusal(std::vector<uint8_t> data) {
        return ResponseFrame(TableExchange, data);
    }

    FakeClock clock;
    ScriptedPort port{clock};
    LinkEngine engine{0};
};

TEST(DeviceErrorTexts, SixtyFourTextsExactToTheBlank) {
    EXPECT_STREQ(DeviceErrorTexts[0], "");
    for (size_t e = 1; e <= 64; ++e) {
        EXPECT_GT(std::strlen(DeviceErrorTexts[e]), 0u) << e;
        EXPECT_NE(DeviceErrorTexts[e][0], ' ') << e;
    }
    EXPECT_STREQ(DeviceErrorTexts[33], "Пользователь с таким именем уже есть ");
    EXPECT_STREQ(DeviceErrorTexts[38], "Переход в режим работы \"Автомат\" невозможен");
    EXPECT_STREQ(DeviceErrorTexts[56],
                 "Изменение параметров возможно только в режиме \"Настройка\"");
    EXPECT_STREQ(DeviceErrorTexts[64], "Программа разрушена или установлена перемычка");
    EXPECT_STREQ(ResultTexts[5], "Ответ получен не полностью (превышено время между байтами)");
}

TEST_F(RefusalTest, KnownErrorQuotesTheDevicesText) {
    EXPECT_FALSE(Run(Refusal({13})));
    EXPECT_EQ(engine.ResultCode, ResultRefused);
    EXPECT_EQ(engine.CommandSummary(), "Команда 29.  Нет такого поля в таблице");
}

TEST_F(RefusalTest, UnknownErrorIsShownByNumber) {
    for (int e : {0, 65, 200}) {
        SCOPED_TRACE(e);
        EXPECT_FALSE(Run(Refusal({static_cast<uint8_t>(e)})));
        EXPECT_EQ(engine.ResultCode, ResultRefused);
        EXPECT_EQ(engine.CommandSummary(), "Команда 29.  Код ошибки = " + std::to_string(e));
    }
    // A refusal with no data has no error code to show.
    EXPECT_FALSE(Run(Refusal({})));
    EXPECT_EQ(engine.ResultText(), "Код ошибки = 0");
}

TEST_F(RefusalTest, ValveRefusalIsResultTwelveWhateverItsReason) {
    for (uint8_t reason : {1, 17, 51}) {
        EXPECT_FALSE(Run(Refusal({24, reason, 9})));
        EXPECT_EQ(engine.ResultCode, ResultValve);
        EXPECT_EQ(engine.CommandSummary(), "Команда 29.  Перестановка крана невозможна.");
    }
}

TEST_F(RefusalTest, DestroyedTableAddsTheDevicesNumber) {
    EXPECT_FALSE(Run(Refusal({60, 0, 5})));
    EXPECT_EQ(engine.CommandSummary(), "Команда 29.  Разрушена таблица 5");

    // A silent device afterwards must not quote the earlier refusal's number.
    EXPECT_FALSE(Run({}));
    EXPECT_EQ(engine.ResultCode, ResultNoAnswer);
    EXPECT_EQ(engine.CommandSummary(), "Команда 29.  Устройство не отвечает");
}

}  // namespace
