#pragma once
// The connection settings: link type, port, rate, time-outs, counts, modem command and
// telephone number. The record's bytes are the settings file, 286 of them, multi-byte
// numbers low byte first, texts Windows-1251 (read them with FieldText, set them with
// SetFieldText from config/Codepage.h).
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

static_assert(std::endian::native == std::endian::little, "the record is the file's layout");

// Packed: the 32-bit numbers are unaligned. Copy them out (int32_t rate = s.BaudRate) and
// never bind a reference or pointer to one; a template taking const T& does that too.

#pragma pack(push, 1)
struct ConnectionSettings {
    uint8_t LinkType = 0;  // 0 direct, 1 through a modem
    uint8_t Reserved1 = 0;
    uint8_t PortNumber = 1;  // COM1..COM8
    int32_t BaudRate = 1200;
    uint8_t RequestPreambles = 0;
    uint8_t ExchangeAttempts = 1;
    int32_t NextByteTimeout = 100;  // ms
    int32_t FirstByteTimeout = 2;   // s
    int32_t RtsPause = 2;           // ms
    uint8_t Reserved2 = 1;
    char ModemCommand[200] = {};  // several commands separated by '^'
    char CountryCode[10] = {};
    char CityCode[10] = {};
    char PhoneNumber[35] = {};
    int32_t ConnectWait = 50;  // s, for each modem reply
    uint8_t Reserved3 = 0;
    int32_t ConnectAttempts = 1;  // dial attempts
};
#pragma pack(pop)

inline constexpr size_t SettingsFileSize = 286;

// The names of the link types, by LinkType.
inline constexpr std::array<const char*, 2> LinkTypeNames = {"Непосредственная связь",
                                                             "Связь по телефону"};
static_assert(sizeof(ConnectionSettings) == SettingsFileSize);
static_assert(offsetof(ConnectionSettings, PortNumber) == 2);
static_assert(offsetof(ConnectionSettings, BaudRate) == 3);
static_assert(offsetof(ConnectionSettings, RequestPreambles) == 7);
static_assert(offsetof(ConnectionSettings, ExchangeAttempts) == 8);
static_assert(offsetof(ConnectionSettings, NextByteTimeout) == 9);
static_assert(offsetof(ConnectionSettings, FirstByteTimeout) == 13);
static_assert(offsetof(ConnectionSettings, RtsPause) == 17);
static_assert(offsetof(ConnectionSettings, Reserved2) == 21);
static_assert(offsetof(ConnectionSettings, ModemCommand) == 22);
static_assert(offsetof(ConnectionSettings, CountryCode) == 222);
static_assert(offsetof(ConnectionSettings, CityCode) == 232);
static_assert(offsetof(ConnectionSettings, PhoneNumber) == 242);
static_assert(offsetof(ConnectionSettings, ConnectWait) == 277);
static_assert(offsetof(ConnectionSettings, Reserved3) == 281);
static_assert(offsetof(ConnectionSettings, ConnectAttempts) == 282);

// Longest texts the connection dialog accepts. The first three fill their fields with no
// room for a terminator; FieldText reads them only up to the field's end.
inline constexpr size_t ModemCommandLength = sizeof(ConnectionSettings::ModemCommand);
inline constexpr size_t CountryCodeLength = sizeof(ConnectionSettings::CountryCode);
inline constexpr size_t CityCodeLength = sizeof(ConnectionSettings::CityCode);
inline constexpr size_t PhoneNumberLength = sizeof(ConnectionSettings::PhoneNumber) - 1;

// The link values and their limits: what the connection dialog accepts, zantir-cli's
// options take, and the engine may ever be given.
enum class LinkValue {
    FirstByteTimeout,  // s
    NextByteTimeout,   // ms
    RequestPreambles,
    RtsPause,  // ms
    ExchangeAttempts,
    ConnectWait,  // s, telephone links only
    ConnectAttempts,
};
struct LinkValueLimit {
    LinkValue Value;
    const char* Caption;  // as the connection dialog names it
    const char* Option;   // zantir-cli's option
    int32_t Lowest;
    int32_t Highest;
};
inline constexpr std::array<LinkValueLimit, 7> LinkValueLimits = {{
    {LinkValue::FirstByteTimeout, "Время ожидания первого байта ответа", "--first-byte-timeout", 1,
     120},
    {LinkValue::NextByteTimeout, "Время ожидания следующих байтов ответа", "--next-byte-timeout",
     55, 5000},
    {LinkValue::RequestPreambles, "Количество преамбул в запросе", "--preambles", 0, 255},
    {LinkValue::RtsPause, "Пауза после установки RTS", "--rts-pause", 2, 1000},
    {LinkValue::ExchangeAttempts, "Количество попыток обмена", "--attempts", 1, 5},
    {LinkValue::ConnectWait, "Ожидание соединения", "--connect-wait", 1, 360},
    {LinkValue::ConnectAttempts, "Кол. попыток соединения", "--connect-attempts", 1, 10},
}};

const LinkValueLimit& LimitOf(LinkValue value);
int32_t LinkValueIn(const ConnectionSettings& settings, LinkValue value);
void SetLinkValue(ConnectionSettings& settings, LinkValue value, int32_t number);
bool WithinLimit(LinkValue value, int64_t number);
// "(1...360)", as the dialog shows a range.
std::string RangeCaption(LinkValue value);
// The first value of settings outside its limits (the telephone ones only for a
// telephone link); null when every one is within.
const LinkValueLimit* ValueOutOfRange(const ConnectionSettings& settings);

// INI/zantir.ini beside the program, or in the user's folders (Folders()).
std::string SettingsFilePath();

// Takes the record from a file of at least 286 bytes (its first 286); anything else
// gives the defaults. Values are not range-checked: the connection dialog does that.
// True when the file was used.
bool LoadSettings(ConnectionSettings& settings, const std::string& path);
bool LoadSettings(ConnectionSettings& settings);
// Replaces the file with the record's 286 bytes; on failure the old file stays as it
// was. Nothing is shown either way.
bool SaveSettings(const ConnectionSettings& settings, const std::string& path);
bool SaveSettings(const ConnectionSettings& settings);
