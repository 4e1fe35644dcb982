#include "connection/Settings.h"

#include <array>
#include <cstring>
#include <filesystem>

#include "config/Filestore.h"
#include "link/Folders.h"

std::string SettingsFilePath() {
    return (std::filesystem::path(Folders().Settings) / "zantir.ini").string();
}

bool LoadSettings(ConnectionSettings& settings, const std::string& path) {
    std::array<uint8_t, SettingsFileSize> file;
    size_t count = 0;
    if (!ReadFileStart(path, file.data(), file.size(), count) || count != file.size()) {
        settings = ConnectionSettings{};
        return false;
    }
    std::memcpy(&settings, file.data(), file.size());
    return true;
}

bool LoadSettings(ConnectionSettings& settings) {
    return LoadSettings(settings, SettingsFilePath());
}

bool SaveSettings(const ConnectionSettings& settings, const std::string& path) {
    std::array<uint8_t, SettingsFileSize> file;
    std::memcpy(file.data(), &settings, file.size());
    return ReplaceFile(path, file.data(), file.size()) == ReplaceResult::Replaced;
}

bool SaveSettings(const ConnectionSettings& settings) {
    return SaveSettings(settings, SettingsFilePath());
}

static_assert([] {
    for (size_t i = 0; i < LinkValueLimits.size(); ++i) {
        if (LinkValueLimits[i].Value != static_cast<LinkValue>(i)) {
            return false;
        }
    }
    return true;
}());

const LinkValueLimit& LimitOf(LinkValue value) {
    return LinkValueLimits[static_cast<size_t>(value)];
}

int32_t LinkValueIn(const ConnectionSettings& s, LinkValue value) {
    switch (value) {
        case LinkValue::FirstByteTimeout:
            return s.FirstByteTimeout;
        case LinkValue::NextByteTimeout:
            return s.NextByteTimeout;
        case LinkValue::RequestPreambles:
            return s.RequestPreambles;
        case LinkValue::RtsPause:
            return s.RtsPause;
        case LinkValue::ExchangeAttempts:
            return s.ExchangeAttempts;
        case LinkValue::ConnectWait:
            return s.ConnectWait;
        case LinkValue::ConnectAttempts:
            return s.ConnectAttempts;
    }
    return 0;
}

void SetLinkValue(ConnectionSettings& s, LinkValue value, int32_t number) {
    switch (value) {
        case LinkValue::FirstByteTimeout:
            s.FirstByteTimeout = number;
            break;
        case LinkValue::NextByteTimeout:
            s.NextByteTimeout = number;
            break;
        case LinkValue::RequestPreambles:
            s.RequestPreambles = static_cast<uint8_t>(number);
            break;
        case LinkValue::RtsPause:
            s.RtsPause = number;
            break;
        case LinkValue::ExchangeAttempts:
            s.ExchangeAttempts = static_cast<uint8_t>(number);
            break;
        case LinkValue::ConnectWait:
            s.ConnectWait = number;
            break;
        case LinkValue::ConnectAttempts:
            s.ConnectAttempts = number;
            break;
    }
}

bool WithinLimit(LinkValue value, int64_t number) {
    const LinkValueLimit& limit = LimitOf(value);
    return number >= limit.Lowest && number <= limit.Highest;
}

std::string RangeCaption(LinkValue value) {
    const LinkValueLimit& limit = LimitOf(value);
    // Appended in steps: GCC 12 misreports -Wrestrict on a chain of operator+.
    std::string caption = "(";
    caption += std::to_string(limit.Lowest);
    caption += "...";
    caption += std::to_string(limit.Highest);
    caption += ')';
    return caption;
}

const LinkValueLimit* ValueOutOfRange(const ConnectionSettings& settings) {
    for (const LinkValueLimit& limit : LinkValueLimits) {
        const bool telephone =
            limit.Value == LinkValue::ConnectWait || limit.Value == LinkValue::ConnectAttempts;
        if ((!telephone || settings.LinkType == 1) &&
            !WithinLimit(limit.Value, LinkValueIn(settings, limit.Value))) {
            return &limit;
        }
    }
    return nullptr;
}
