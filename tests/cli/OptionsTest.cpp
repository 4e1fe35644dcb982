// The command line: what is refused as wrong usage, and how link options land in the
// settings the link is opened with.
#include <gtest/gtest.h>

#include <utility>

#include "cli/Options.h"
#include "config/Codepage.h"

namespace {

bool Parse(std::vector<std::string> arguments, CliOptions& options, std::string& error) {
    return ParseCommandLine(arguments, options, error);
}

}  // namespace

TEST(CliOptions, WrongUsageIsRefusedWithAMessage) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"fetch"},
        {"read", "a.cnf", "b.cnf"},
        {"diff", "a.cnf"},
        {"ident", "extra"},
        {"--rate", "9601", "ident"},
        {"--rate", "96OO", "ident"},
        {"--preambles", "256", "ident"},
        {"--preambles", "1x", "ident"},
        {"--attempts", "0", "ident"},
        {"--first-byte-timeout", "-1", "ident"},
        {"--next-byte-timeout", "54", "ident"},
        {"--retries", "", "ident"},
        {"--port", "", "ident"},
        {"ident", "--rate"},
        {"write", "a.cnf", "--tables", "4"},
        {"write", "a.cnf", "--tables", "3,,6"},
        {"read", "a.cnf", "--tables", "3"},
        {"write", "a.cnf", "--force"},
        {"--frobnicate", "1", "ident"},
    };
    for (const auto& arguments : wrong) {
        CliOptions options;
        std::string error;
        std::string line;
        for (const auto& a : arguments) {
            line += a + " ";
        }
        EXPECT_FALSE(Parse(arguments, options, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
    CliOptions options;
    std::string error;
    EXPECT_FALSE(Parse({"--phone", "7 495 12\xE2\x98\x83", "ident"}, options, error));  // a snowman
}

TEST(CliOptions, LinkOptionsOverrideTheSettingsFile) {
    CliOptions options;
    options.Settings.BaudRate = 1200;
    options.Settings.PortNumber = 4;
    std::string error;
    ASSERT_TRUE(
        Parse({"--rate", "11520", "--first-byte-timeout", "3", "--port", "COM2", "--attempts", "3",
               "--phone", "7 (495) 123-45-67", "--retries", "2", "state", "--json"},
              options, error))
        << error;
    const int32_t rate = options.Settings.BaudRate;
    const int32_t firstByte = options.Settings.FirstByteTimeout;
    EXPECT_EQ(rate, 11520);
    EXPECT_EQ(firstByte, 3);
    EXPECT_EQ(options.Settings.PortNumber, 2);
    EXPECT_TRUE(options.PortPath.empty());
    // A bare name is a port's as the system names it, where no file of that name is here.
#ifdef _WIN32
    const auto systemPort = std::pair{"COM12", "\\\\.\\COM12"};
#else
    const auto systemPort = std::pair{"null", "/dev/null"};
#endif
    for (const auto& [name, path] :
         {systemPort, std::pair{"no-such-port-name", "no-such-port-name"}}) {
        CliOptions byName;
        ASSERT_TRUE(Parse({"--port", name, "ports"}, byName, error)) << error;
        EXPECT_EQ(byName.PortPath, path);
    }
    EXPECT_EQ(options.Settings.ExchangeAttempts, 3);
    EXPECT_EQ(options.Settings.LinkType, 1);
    EXPECT_EQ(FieldText(options.Settings.CountryCode, CountryCodeLength), "7");
    EXPECT_EQ(FieldText(options.Settings.CityCode, CityCodeLength), "(495)");
    EXPECT_EQ(FieldText(options.Settings.PhoneNumber, PhoneNumberLength), "123-45-67");
    // The number is the third word on, even where the same digits stood before it.
    for (const auto& [given, number] :
         std::vector<std::pair<std::string, std::string>>{{"7 7 77", "77"},
                                                          {"12 2 2", "2"},
                                                          {"1 12 2 3", "2 3"},
                                                          {"  49  30   12 34", "12 34"}}) {
        CliOptions phone;
        ASSERT_TRUE(Parse({"--phone", given, "ident"}, phone, error)) << error;
        EXPECT_EQ(FieldText(phone.Settings.PhoneNumber, PhoneNumberLength), number) << given;
    }
    EXPECT_EQ(options.Retries, 2);
    EXPECT_TRUE(options.Json);
    EXPECT_EQ(options.Command, "state");

    // A name that is not COM1..COM8 is a path; --direct undoes a telephone settings file.
    CliOptions path;
    path.Settings.LinkType = 1;
    ASSERT_TRUE(Parse({"--port", "/dev/ttyUSB0", "--direct", "search"}, path, error));
    EXPECT_EQ(path.PortPath, "/dev/ttyUSB0");
    EXPECT_EQ(path.Settings.LinkType, 0);
}

TEST(CliOptions, WriteTakesEveryConfigurationTableUnlessToldOtherwise) {
    CliOptions all;
    std::string error;
    ASSERT_TRUE(Parse({"write", "a.cnf"}, all, error));
    EXPECT_EQ(all.Tables, (std::array<uint8_t, TableCount>{0, 0, 0, 1, 0, 1, 1, 0}));
    CliOptions chosen;
    ASSERT_TRUE(Parse({"write", "a.cnf", "--tables", "6,3"}, chosen, error));
    EXPECT_EQ(chosen.Tables, (std::array<uint8_t, TableCount>{0, 0, 0, 1, 0, 0, 1, 0}));
}

TEST(CliOptions, ReadReplacesAFileOnlyWithForce) {
    std::string error;
    CliOptions plain;
    ASSERT_TRUE(Parse({"read", "a.cnf"}, plain, error));
    EXPECT_FALSE(plain.Force);
    CliOptions forced;
    ASSERT_TRUE(Parse({"--force", "read", "a.cnf"}, forced, error)) << error;
    EXPECT_TRUE(forced.Force);
    EXPECT_EQ(forced.Arguments, std::vector<std::string>{"a.cnf"});
    EXPECT_NE(std::string(UsageText).find("--force"), std::string::npos);
}
