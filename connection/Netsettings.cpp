#include "connection/Netsettings.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <sstream>

#include "config/Filestore.h"
#include "connection/Connectmodem.h"
#include "link/Conffun.h"
#include "link/Folders.h"

namespace {

constexpr size_t MaxFileSize = 4096;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ParsePort(const std::string& text, uint16_t& port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool ParseFlag(const std::string& text, bool& flag) {
    if (text != "0" && text != "1") {
        return false;
    }
    flag = text == "1";
    return true;
}

}  // namespace

std::string NetworkSettingsFilePath() {
    return (std::filesystem::path(Folders().Settings) / "zantir-net.ini").string();
}

std::string NetworkAddressText(const NetworkSettings& network) {
    if (network.CallIn) {
        return ":" + std::to_string(network.Port);
    }
    const bool v6 = network.Host.find(':') != std::string::npos;
    return (v6 ? "[" + network.Host + "]" : network.Host) + ":" + std::to_string(network.Port);
}

std::string LinkPlaceText(const ConnectionSettings& settings, const NetworkSettings& network) {
    if (settings.LinkType == LinkTypeNetwork) {
        return NetworkAddressText(network);
    }
    if (settings.LinkType == 1) {
        return DialNumberText(settings);
    }
    return "COM" + std::to_string(settings.PortNumber);
}

std::string LinkConnectionText(const ConnectionSettings& settings, const NetworkSettings& network) {
    if (settings.LinkType != LinkTypeNetwork) {
        return ConnectionText(settings);
    }
    const int32_t rate = settings.BaudRate;
    return " " + NetworkAddressText(network) + ",   " + std::to_string(rate) + " бит/с";
}

const char* LinkTypeName(uint8_t linkType) {
    if (linkType == LinkTypeNetwork) {
        return NetworkLinkName;
    }
    return LinkTypeNames[linkType == 1 ? 1 : 0];
}

std::string NetworkSettingsText(bool networkLink, const NetworkSettings& network) {
    return std::string("link=") + (networkLink ? "network" : "serial") + "\nhost=" + network.Host +
           "\nport=" + std::to_string(network.Port) + "\nrfc2217=" + (network.Rfc2217 ? "1" : "0") +
           "\ncallin=" + (network.CallIn ? "1" : "0") + "\n";
}

bool ParseNetworkSettings(const std::string& text, bool& networkLink, NetworkSettings& network) {
    bool sound = true;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trimmed(line);
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) {
            sound = sound && (line.empty() || line[0] == '#');
            continue;
        }
        const std::string key = Trimmed(line.substr(0, equals));
        const std::string value = Trimmed(line.substr(equals + 1));
        if (key == "link") {
            sound = sound && (value == "network" || value == "serial");
            networkLink = value == "network";
        } else if (key == "host") {
            // Control characters have no place in a host name: the rest of it is kept.
            std::string host;
            for (char c : value) {
                if (static_cast<unsigned char>(c) >= 0x20) {
                    host += c;
                }
            }
            sound = sound && host.size() == value.size();
            network.Host = host;
        } else if (key == "port") {
            sound = ParsePort(value, network.Port) && sound;
        } else if (key == "rfc2217") {
            sound = ParseFlag(value, network.Rfc2217) && sound;
        } else if (key == "callin") {
            sound = ParseFlag(value, network.CallIn) && sound;
        }
    }
    return sound;
}

void LoadLinkSettings(ConnectionSettings& settings, NetworkSettings& network,
                      const std::string& settingsPath, const std::string& networkPath) {
    LoadSettings(settings, settingsPath);
    network = NetworkSettings{};
    std::array<uint8_t, MaxFileSize> file{};
    size_t count = 0;
    if (!ReadFileStart(networkPath, file.data(), file.size(), count)) {
        return;
    }
    bool networkLink = false;
    ParseNetworkSettings(std::string(file.begin(), file.begin() + static_cast<long>(count)),
                         networkLink, network);
    if (networkLink) {
        settings.LinkType = LinkTypeNetwork;
    }
}

void LoadLinkSettings(ConnectionSettings& settings, NetworkSettings& network) {
    LoadLinkSettings(settings, network, SettingsFilePath(), NetworkSettingsFilePath());
}

bool SaveLinkSettings(const ConnectionSettings& settings, const NetworkSettings& network,
                      const std::string& settingsPath, const std::string& networkPath) {
    const bool networkLink = settings.LinkType == LinkTypeNetwork;
    ConnectionSettings file = settings;
    if (networkLink) {
        file.LinkType = 0;  // an older program opens its serial port, as before
    }
    const bool saved = SaveSettings(file, settingsPath);
    const std::string text = NetworkSettingsText(networkLink, network);
    const bool savedNetwork =
        ReplaceFile(networkPath, reinterpret_cast<const uint8_t*>(text.data()), text.size()) ==
        ReplaceResult::Replaced;
    return saved && savedNetwork;
}

bool SaveLinkSettings(const ConnectionSettings& settings, const NetworkSettings& network) {
    return SaveLinkSettings(settings, network, SettingsFilePath(), NetworkSettingsFilePath());
}
