#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/Codepage.h"
#include "connection/Connectmodem.h"

namespace {

using Commands = std::vector<std::string>;

TEST(ModemCommandList, SetUpCommandsAreCutAtEveryCaret) {
    EXPECT_EQ(ModemCommandList("AT&F^ATX3"), (Commands{"ATE0V1\r", "AT&F\r", "ATX3\r"}));
    EXPECT_EQ(ModemCommandList("  at&f ^ xyz ^ATM0"), (Commands{"ATE0V1\r", "at&f \r", "ATM0\r"}));
    EXPECT_EQ(ModemCommandList(""), Commands{"ATE0V1\r"});
    EXPECT_EQ(ModemCommandList("no commands ^ here"), Commands{"ATE0V1\r"});
    EXPECT_EQ(ModemCommandList("aTS0=0^^At"), (Commands{"ATE0V1\r", "aTS0=0\r", "At\r"}));
    EXPECT_EQ(ModemCommandList("xAT"), (Commands{"ATE0V1\r", "AT\r"}));
    // The longest command text cannot overfill the list.
    std::string many;
    for (int i = 0; i < 66; ++i) {
        many += "AT^";
    }
    EXPECT_EQ(ModemCommandList(many).size(), 67u);
}

TEST(ModemCommandList, DialCommandTakesTheNumberWithoutPunctuation) {
    EXPECT_EQ(DialCommand("1 (234) 567-89-01"), "ATD12345678901\r");
    EXPECT_EQ(DialNumberFilter(" - ( ) "), "");
    EXPECT_EQ(WithoutLineEnds("\r\nCONNECT 9600\r\n"), "CONNECT 9600");

    ConnectionSettings settings;
    ASSERT_TRUE(SetFieldText(settings.CountryCode, CountryCodeLength, "1"));
    ASSERT_TRUE(SetFieldText(settings.CityCode, CityCodeLength, "(234)"));
    ASSERT_TRUE(SetFieldText(settings.PhoneNumber, sizeof settings.PhoneNumber, "567-89-01"));
    EXPECT_EQ(DialNumberText(settings), "1 (234) 567-89-01");
    // A city code that fills its field does not run on into the number.
    std::memcpy(settings.CityCode, "0123456789", CityCodeLength);
    EXPECT_EQ(DialCommand(DialNumberText(settings)), "ATD101234567895678901\r");
}

TEST(ModemResultTexts, EveryResultHasItsMessage) {
    EXPECT_STREQ(ModemResultTexts[ModemOk], "Соединение установлено");
    EXPECT_STREQ(ModemResultTexts[ModemMissing], "Модем отсутствует или не подключен");
    EXPECT_STREQ(ModemResultTexts[ModemCancelled],
                 "Попытка соединения прервана по требованию пользователя");
    for (const char* text : ModemResultTexts) {
        EXPECT_GT(std::strlen(text), 0u);
    }
}

}  // namespace
