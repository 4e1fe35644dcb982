#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/Codepage.h"

namespace {

TEST(Codepage, CyrillicTextRoundTripsThroughItsSingleByteForm) {
    const std::string text = "Параметры связи: Ёж, ёлка, Її Ўў Ґґ № 5 «€»";
    std::string stored;
    ASSERT_TRUE(ToCp1251(text, stored));
    const std::string expected =
        "\xCF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xFB \xF1\xE2\xFF\xE7\xE8: \xA8\xE6, \xB8\xEB\xEA\xE0, "
        "\xAF\xBF \xA1\xA2 \xA5\xB4 \xB9 5 \xAB\x88\xBB";
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(ToUtf8(stored), text);
}

TEST(Codepage, EveryStoredByteComesBackUnchanged) {
    // A modem string or settings text read from a file must survive being shown and kept.
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    std::string back;
    ASSERT_TRUE(ToCp1251(ToUtf8(all), back));
    EXPECT_EQ(back, all);
}

TEST(Codepage, CharactersWithoutASingleByteFormAndBrokenUtf8AreRefused) {
    for (const char* text : {"ATZ 日本", "\xF0\x9F\x98\x80", "Ω", "ä", "\xD0", "\xC0\xAF",
                             "\xED\xA0\x80", "\xE0\x80\xAF", "\xF4\x90\x80\x80", "\x80"}) {
        SCOPED_TRACE(text);
        std::string stored = "kept";
        EXPECT_FALSE(ToCp1251(text, stored));
        EXPECT_EQ(stored, "kept");
    }
}

TEST(Codepage, FieldTextStopsAtTheFieldsEndAndSettingIsAllOrNothing) {
    char fields[12];
    std::memset(fields, 'X', sizeof fields);
    char* field = fields + 1;  // 10 bytes with neighbours on both sides

    ASSERT_TRUE(SetFieldText(field, 10, "Москва-123"));
    EXPECT_EQ(FieldText(field, 10), "Москва-123");
    EXPECT_EQ(fields[0], 'X');
    EXPECT_EQ(fields[11], 'X');

    ASSERT_TRUE(SetFieldText(field, 10, "Тула"));
    EXPECT_EQ(FieldText(field, 10), "Тула");
    EXPECT_EQ(std::string(field + 4, 6), std::string(6, '\0'));

    EXPECT_FALSE(SetFieldText(field, 10, "Петропавловск"));  // 13 characters
    EXPECT_FALSE(SetFieldText(field, 10, "日本"));
    EXPECT_FALSE(SetFieldText(field, 10, std::string("a\0b", 3)));
    EXPECT_EQ(FieldText(field, 10), "Тула");
}

}  // namespace
