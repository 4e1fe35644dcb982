#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/Codepage.h"
#include "connection/Netsettings.h"
#include "connection/Settings.h"
#include "tests/support/Filetesting.h"

namespace {

using namespace filetesting;

Bytes SettingsBytes(const ConnectionSettings& settings) {
    Bytes bytes(SettingsFileSize);
    std::memcpy(bytes.data(), &settings, bytes.size());
    return bytes;
}

Bytes DefaultFile() {
    Bytes file(286, 0);
    file[2] = 1;                     // COM1
    file[3] = 0xB0, file[4] = 0x04;  // 1200 bit/s
    file[8] = 1;                     // one attempt
    file[9] = 100;                   // ms between bytes
    file[13] = 2;                    // s for the first byte
    file[17] = 2;                    // ms RTS pause
    file[21] = 1;                    // Reserved2
    file[277] = 50;                  // s for a modem reply
    file[282] = 1;                   // one dial attempt
    return file;
}

struct SettingsTest : testing::Test {
    // Loads into a record that holds no default, so a missed field shows.
    bool Load() {
        std::memset(static_cast<void*>(&settings), 0xA5, sizeof settings);
        return LoadSettings(settings, path);
    }

    ScratchDir dir;
    std::string path = dir / "zantir.ini";
    ConnectionSettings settings;
};

TEST_F(SettingsTest, WithoutAFileTheDefaultsAreWrittenOnClose) {
    EXPECT_FALSE(Load());
    EXPECT_EQ(SettingsBytes(settings), DefaultFile());
    ASSERT_TRUE(SaveSettings(settings, path));
    EXPECT_EQ(ReadBytes(path), DefaultFile());
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"zantir.ini"});
}

TEST_F(SettingsTest, OnlyAFileOfAtLeast286BytesIsUsed) {
    const Bytes file = Pattern(300, 1);
    WriteBytes(path, Bytes(file.begin(), file.begin() + 285));
    EXPECT_FALSE(Load());
    EXPECT_EQ(SettingsBytes(settings), DefaultFile());

    for (size_t size : {size_t{286}, size_t{300}}) {
        SCOPED_TRACE(size);
        WriteBytes(path, Bytes(file.begin(), file.begin() + static_cast<long>(size)));
        ASSERT_TRUE(Load());
        // Reserved bytes and the bytes behind text terminators come back as they were.
        ASSERT_TRUE(SaveSettings(settings, path));
        EXPECT_EQ(ReadBytes(path), Bytes(file.begin(), file.begin() + 286));
    }
}

TEST_F(SettingsTest, ValuesOutsideTheDialogsRangesLoadUnchanged) {
    Bytes file = DefaultFile();
    file[2] = 9;
    file[3] = 0xE8, file[4] = 0x03;  // 1000 bit/s
    file[0] = 7;
    WriteBytes(path, file);
    ASSERT_TRUE(Load());
    EXPECT_EQ(settings.PortNumber, 9);
    EXPECT_EQ(int32_t{settings.BaudRate}, 1000);  // a copy: the member is unaligned
    EXPECT_EQ(settings.LinkType, 7);
    EXPECT_EQ(settings.Reserved2, 1);
}

TEST_F(SettingsTest, TextsThatFillTheirFieldsComeBackWhole) {
    const std::string command(200, 'A');
    ConnectionSettings full;
    ASSERT_TRUE(SetFieldText(full.ModemCommand, sizeof full.ModemCommand, command));
    ASSERT_TRUE(SetFieldText(full.CountryCode, sizeof full.CountryCode, "8"));
    ASSERT_TRUE(SetFieldText(full.CityCode, sizeof full.CityCode, "Код-495123"));
    ASSERT_TRUE(SetFieldText(full.PhoneNumber, sizeof full.PhoneNumber, std::string(34, '7')));
    EXPECT_FALSE(SetFieldText(full.CityCode, sizeof full.CityCode, "Код-4951234"));
    ASSERT_TRUE(SaveSettings(full, path));

    const Bytes file = ReadBytes(path);
    ASSERT_EQ(file.size(), 286u);
    EXPECT_EQ(Bytes(file.begin() + 22, file.begin() + 222), Bytes(200, 'A'));
    EXPECT_EQ(file[222], '8');
    const Bytes city = {0xCA, 0xEE, 0xE4, '-', '4', '9', '5', '1', '2', '3'};
    EXPECT_EQ(Bytes(file.begin() + 232, file.begin() + 242), city);
    EXPECT_EQ(file[242], '7');

    ASSERT_TRUE(Load());
    EXPECT_EQ(FieldText(settings.ModemCommand, sizeof settings.ModemCommand), command);
    EXPECT_EQ(FieldText(settings.CountryCode, sizeof settings.CountryCode), "8");
    EXPECT_EQ(FieldText(settings.CityCode, sizeof settings.CityCode), "Код-495123");
    EXPECT_EQ(FieldText(settings.PhoneNumber, sizeof settings.PhoneNumber), std::string(34, '7'));
}

TEST_F(SettingsTest, ASaveThatCannotWriteKeepsTheOldFile) {
    WriteBytes(path, Pattern(286, 5));
    ConnectionSettings changed;
    changed.PortNumber = 4;
    {
        ReadOnlyDir readOnly(dir.path);
        if (readOnly.Writable()) {
            GTEST_SKIP() << "this process writes into read-only directories";
        }
        EXPECT_FALSE(SaveSettings(changed, path));
    }
    EXPECT_EQ(ReadBytes(path), Pattern(286, 5));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"zantir.ini"});
    EXPECT_FALSE(SaveSettings(changed, dir / "INI/zantir.ini"));  // no INI directory
}

}  // namespace

namespace {

// A network link is kept in its own file: zantir.ini stays 286 bytes with a link type that
// an older program knows, and the link comes back whole.
TEST_F(SettingsTest, ANetworkLinkKeepsZantirIniAsOlderCopiesReadIt) {
    const std::string networkPath = dir / "zantir-net.ini";
    ConnectionSettings network = ConnectionSettings{};
    network.LinkType = LinkTypeNetwork;
    network.BaudRate = 115200;
    const NetworkSettings where{"ser2net.example", 3001, true, false};
    ASSERT_TRUE(SaveLinkSettings(network, where, path, networkPath));
    Bytes expected = DefaultFile();
    expected[3] = 0x00, expected[4] = 0xC2, expected[5] = 0x01;  // 115200 bit/s
    EXPECT_EQ(ReadBytes(path), expected);  // link type 0: a direct link to older copies

    ConnectionSettings loaded;
    NetworkSettings back;
    LoadLinkSettings(loaded, back, path, networkPath);
    EXPECT_EQ(loaded.LinkType, LinkTypeNetwork);
    EXPECT_EQ(back, where);

    // Back to the telephone: the network file says so, its host is kept for next time.
    loaded.LinkType = 1;
    ASSERT_TRUE(SaveLinkSettings(loaded, back, path, networkPath));
    LoadLinkSettings(loaded, back, path, networkPath);
    EXPECT_EQ(loaded.LinkType, 1);
    EXPECT_EQ(back.Host, "ser2net.example");
}

struct NetworkFileCase {
    const char* text;
    bool sound;
    bool networkLink;
    NetworkSettings network;
};
struct NetworkFileTest : testing::TestWithParam<NetworkFileCase> {};

TEST_P(NetworkFileTest, ReadsWhatItCanAndSaysWhenALineIsBad) {
    bool networkLink = false;
    NetworkSettings network;
    EXPECT_EQ(ParseNetworkSettings(GetParam().text, networkLink, network), GetParam().sound);
    EXPECT_EQ(networkLink, GetParam().networkLink);
    EXPECT_EQ(network, GetParam().network);
    if (GetParam().sound) {  // what is written reads back the same
        bool again = !networkLink;
        NetworkSettings reread;
        EXPECT_TRUE(ParseNetworkSettings(NetworkSettingsText(networkLink, network), again, reread));
        EXPECT_EQ(again, networkLink);
        EXPECT_EQ(reread, network);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, NetworkFileTest,
    testing::Values(NetworkFileCase{"", true, false, {}},
                    NetworkFileCase{"link=network\nhost=10.0.0.7\nport=4001\nrfc2217=1\ncallin=0\n",
                                    true,
                                    true,
                                    {"10.0.0.7", 4001, true, false}},
                    NetworkFileCase{"# by hand\r\n link = network \r\nport=2000\r\ncallin=1\r\n",
                                    true,
                                    true,
                                    {"", 2000, false, true}},
                    NetworkFileCase{"link=network\nport=70000\nrfc2217=yes\n", false, true, {}},
                    NetworkFileCase{"port=0\nhost=a\x01"
                                    "b\ngarbage\nfuture=1\n",
                                    false,
                                    false,
                                    {"ab", 4001}}));

// What the texts call the link and where it leads: the port, the number dialled, or the
// network address in place of either.
TEST(LinkTexts, NameTheNetworkAddressForANetworkLinkOnly) {
    ConnectionSettings settings;
    settings.PortNumber = 3;
    settings.BaudRate = 9600;
    SetFieldText(settings.PhoneNumber, sizeof settings.PhoneNumber, "5550102");
    const NetworkSettings network{"10.0.0.7", 4001, false, false};
    const NetworkSettings callIn{"10.0.0.7", 4001, false, true};
    struct Case {
        uint8_t linkType;
        NetworkSettings network;
        std::string place, panel, name;
    };
    const Case cases[] = {
        {0, network, "COM3", " COM3,   9600 бит/с", "Непосредственная связь"},
        {1, network, "  5550102", " COM3,   9600 бит/с", "Связь по телефону"},
        {2, network, "10.0.0.7:4001", " 10.0.0.7:4001,   9600 бит/с", "Сеть (TCP/IP)"},
        {2, callIn, ":4001", " :4001,   9600 бит/с", "Сеть (TCP/IP)"},
        {7, network, "COM3", " COM3,   9600 бит/с", "Непосредственная связь"},
    };
    for (const Case& c : cases) {
        settings.LinkType = c.linkType;
        SCOPED_TRACE(c.place);
        EXPECT_EQ(LinkPlaceText(settings, c.network), c.place);
        EXPECT_EQ(LinkConnectionText(settings, c.network), c.panel);
        EXPECT_EQ(std::string(LinkTypeName(c.linkType)), c.name);
    }
}

}  // namespace
