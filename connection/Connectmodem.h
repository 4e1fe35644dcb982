#pragma once
// The modem dialogue: one command and its reply, the reset to command mode, the dial
// with its set-up commands and attempts, and the hang-up. Commands are AT command lines
// in Windows-1251 bytes; verbose replies arrive framed by CR and LF.
#include <array>
#include <string>
#include <vector>

#include "connection/Settings.h"
#include "link/Comportfunctions.h"
#include "link/Linkclock.h"
#include "link/Screen.h"

// The outcome of every modem operation; ModemResultTexts[result] is its message.
enum ModemResults : int {
    ModemOk = 0,
    ModemNoDialTone = 1,
    ModemBusy = 2,
    ModemNoCarrier = 3,
    ModemError = 4,
    ModemNoAnswer = 5,
    ModemTimeout = 6,
    ModemMissing = 7,
    ModemNotConnected = 8,
    ModemCancelled = 9,
};
extern const std::array<const char*, 10> ModemResultTexts;

// A reply holding one of these acknowledges a command during the reset.
extern const std::array<const char*, 6> ReplyMarkers;

// The line the modem hangs on, the screen (message pump, Escape, status panel), the
// clock the waits are measured on, and the program's stop request: once it is set every
// reply wait fails at once and no command is sent; the hang-up still goes out.
struct ModemLine {
    Transport* Port;
    Screen& Ui;
    LinkClock& Clock;
    const bool* Stop = nullptr;
    std::chrono::nanoseconds MaxPollWait = std::chrono::milliseconds(10);  // between pumps

    bool Stopped() const { return Stop && *Stop; }
};

inline constexpr size_t MaxReplyLength = 255;
inline constexpr size_t MaxModemCommands = 100;

// Sends the command as it is and collects one reply line into reply. Returns 0, 1..6
// or 9 (Escape pressed during this wait; a press before it does not count).
int ModemExchange(ModemLine& line, const std::string& command, std::string& reply, int timeoutMs);
// Brings the modem to command mode, on hook.
int ModemReset(ModemLine& line);
// Reset, set-up commands and dial, for up to attempts attempts; 0: the call is up.
// statusPanel < 0 shows nothing.
int ModemDial(ModemLine& line, const std::string& number, const std::string& setupCommands,
              int statusPanel, int attempts, int waitSeconds);
void ModemHangUp(ModemLine& line);

// "ATE0V1" CR, then every "AT..." of the set-up text up to its "^", each with a CR.
std::vector<std::string> ModemCommandList(const std::string& setupCommands);
// "ATD", the number without blanks, "-", "(" and ")", CR.
std::string DialCommand(const std::string& number);
std::string DialNumberFilter(const std::string& number);
std::string WithoutLineEnds(const std::string& text);
// Country code, city code and number as the dial takes them: "%s %s %s".
std::string DialNumberText(const ConnectionSettings& settings);
