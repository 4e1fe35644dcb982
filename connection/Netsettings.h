#pragma once
// The network link's settings: where the serial device server or the terminal is, and how
// to speak to it. They live in a file of their own beside zantir.ini, whose 286 bytes keep
// their layout for the older copies of the program that read them; those never see a link
// type of their own not knowing.
#include <cstdint>
#include <string>

#include "connection/Settings.h"

// The link type of a network link: held in memory, never written into zantir.ini.
inline constexpr uint8_t LinkTypeNetwork = 2;
inline constexpr char NetworkLinkName[] = "Сеть (TCP/IP)";

struct NetworkSettings {
    std::string Host;
    uint16_t Port = 4001;
    bool Rfc2217 = false;  // telnet COM port control: the program sets the server's rate
    bool CallIn = false;   // the terminal connects to the program, on Port

    bool operator==(const NetworkSettings&) const = default;
};

// INI/zantir-net.ini, beside zantir.ini.
std::string NetworkSettingsFilePath();
// "host:port", "[v6]:port", or ":port" for a call-in: the form the dialog and the files
// show.
std::string NetworkAddressText(const NetworkSettings& network);
// Where the link leads, as the texts name it: "COM1", the number dialled, or the network
// address.
std::string LinkPlaceText(const ConnectionSettings& settings, const NetworkSettings& network);
// Status panel 0: " COM1,   9600 бит/с", for a network link its address in place of the port.
std::string LinkConnectionText(const ConnectionSettings& settings, const NetworkSettings& network);
// The link type's name: LinkTypeNames, or NetworkLinkName; an unknown type is a direct link.
const char* LinkTypeName(uint8_t linkType);

// Both files: zantir.ini, and the network file, which makes the link a network one when
// it says so. A missing or damaged network file leaves the network defaults; a line it
// does not know is passed over.
void LoadLinkSettings(ConnectionSettings& settings, NetworkSettings& network,
                      const std::string& settingsPath, const std::string& networkPath);
void LoadLinkSettings(ConnectionSettings& settings, NetworkSettings& network);
// Writes both; zantir.ini gets a direct link in place of a network one. True when both
// were written.
bool SaveLinkSettings(const ConnectionSettings& settings, const NetworkSettings& network,
                      const std::string& settingsPath, const std::string& networkPath);
bool SaveLinkSettings(const ConnectionSettings& settings, const NetworkSettings& network);

// The network file's text, and the settings from it; false when a line that is there
// cannot be read (the rest is still taken).
std::string NetworkSettingsText(bool networkLink, const NetworkSettings& network);
bool ParseNetworkSettings(const std::string& text, bool& networkLink, NetworkSettings& network);
