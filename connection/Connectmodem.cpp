#include "connection/Connectmodem.h"

#include <algorithm>

#include "config/Codepage.h"

const std::array<const char*, 10> ModemResultTexts = {
    "Соединение установлено",
    "Отсутствует сигнал АТС",
    "Номер абонента занят",
    "Потеря несущей",
    "Нет гудка в линии",
    "Абонент не отвечает",
    "Лимит времени, отведенного на соединение, исчерпан",
    "Модем отсутствует или не подключен",
    "Соединение не установлено",
    "Попытка соединения прервана по требованию пользователя",
};

const std::array<const char*, 6> ReplyMarkers = {"AT", "at", "OK", "ok", "\r\n", "0"};

namespace {

using std::chrono::milliseconds;

constexpr auto CommandPause = milliseconds(2);
constexpr auto EscapeGuard = milliseconds(1100);
constexpr auto DialSettle = milliseconds(2000);
constexpr auto BetweenCommands = milliseconds(200);
constexpr auto HangUpGuard = milliseconds(2500);
constexpr int ResetTimeoutMs = 5000;
const char HangUpCommand[] = "ath\r";
const char EscapeSequence[] = "+++";
const char EscapeReply[] = "Escape...";

bool Contains(const std::string& text, const char* pattern) {
    return ContainsText(text.c_str(), pattern);
}

bool HasReplyMarker(const std::string& reply) {
    return std::any_of(ReplyMarkers.begin(), ReplyMarkers.end(),
                       [&reply](const char* marker) { return Contains(reply, marker); });
}

bool IsLineEnd(uint8_t byte) {
    return byte == '\r' || byte == '\n';
}

void Pause(ModemLine& line, LinkDuration pause) {
    line.Clock.SleepUntil(line.Clock.Now() + pause);
}

// A command goes out within 50 ms per character and 50 ms more, as a request does.
bool Send(ModemLine& line, const std::string& text) {
    const auto limit = std::chrono::milliseconds(50 * static_cast<int64_t>(text.size()) + 50);
    return line.Port &&
           line.Port->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), limit).Ok();
}

// One poll of the reply wait: messages run, Escape is looked at, at most one byte is
// taken. Returns false when Escape was pressed.
bool Poll(ModemLine& line, LinkTime deadline, ReadStatus& status, uint8_t& byte) {
    line.Ui.ProcessMessages();
    if (line.Ui.EscapePressed()) {
        return false;
    }
    if (line.Stopped()) {
        status = ReadStatus::None;
        return true;  // the caller's deadline test ends the wait as a failed reply
    }
    const LinkTime now = line.Clock.Now();
    const auto wait = std::clamp<LinkDuration>(deadline - now + std::chrono::nanoseconds(1),
                                               std::chrono::nanoseconds(1), line.MaxPollWait);
    status = line.Port ? line.Port->ReadByte(byte, wait) : ReadStatus::Failed;
    if (status == ReadStatus::Failed) {
        // A failed read is nothing arrived; a line that fails at once must not spin.
        line.Clock.SleepUntil(now + wait);
    }
    return true;
}

int Classify(const std::string& reply) {
    if (Contains(reply, "ERRO") || Contains(reply, "erro")) {
        return ModemError;
    }
    if (Contains(reply, "Time")) {
        return ModemTimeout;
    }
    if (Contains(reply, "DIAL") || Contains(reply, "dial")) {
        return ModemNoDialTone;
    }
    if (Contains(reply, "NO CARRI") || Contains(reply, "no carri")) {
        return ModemNoCarrier;
    }
    if (Contains(reply, "BUSY") || Contains(reply, "busy")) {
        return ModemBusy;
    }
    if (Contains(reply, "ANSW") || Contains(reply, "answ")) {
        return ModemNoAnswer;
    }
    if (Contains(reply, EscapeReply)) {
        return ModemCancelled;
    }
    return ModemOk;
}

void ShowProgress(ModemLine& line, int panel, const std::string& text) {
    if (panel >= 0) {
        line.Ui.SetPanelText(panel, "Установление связи по телефону:  " + ToUtf8(text));
    }
}

// One set-up and dial; 0 when the call is up.
int DialAttempt(ModemLine& line, const std::vector<std::string>& commands, const std::string& dial,
                int panel, int timeoutMs) {
    std::string reply;
    for (const std::string& command : commands) {
        line.Ui.ProcessMessages();
        ShowProgress(line, panel, WithoutLineEnds(command));
        const int result = ModemExchange(line, command, reply, timeoutMs);
        ShowProgress(line, panel, WithoutLineEnds(reply));
        if (result != ModemOk) {
            return result;
        }
        if (!Contains(reply, "OK") && !Contains(reply, "ok")) {
            return ModemNotConnected;
        }
        Pause(line, BetweenCommands);
    }
    line.Ui.ProcessMessages();
    ShowProgress(line, panel, WithoutLineEnds(dial));
    const int result = ModemExchange(line, dial, reply, timeoutMs);
    ShowProgress(line, panel, WithoutLineEnds(reply));
    if (result != ModemOk) {
        return result;
    }
    if (!Contains(reply, "ONNE") && !Contains(reply, "onne")) {
        return ModemNotConnected;
    }
    Pause(line, BetweenCommands);
    return ModemOk;
}

}  // namespace

int ModemExchange(ModemLine& line, const std::string& command, std::string& reply, int timeoutMs) {
    line.Ui.ProcessMessages();
    reply.clear();
    if (line.Stopped()) {
        return ModemTimeout;
    }
    line.Ui.EscapePressed();  // a press from before this wait is forgotten
    // What the last reply left (its closing LF) would open this reply before the echo of
    // the command, which then passes for the reply: a modem that still echoes could never
    // be set up.
    // A port that cannot be flushed or written to gets no reply: that ends in the
    // time-out below, as a silent modem does.
    const bool flushed = line.Port && line.Port->Flush().Ok();
    Pause(line, CommandPause);
    if (flushed) {
        Send(line, command);
    }
    const LinkTime deadline = line.Clock.Now() + milliseconds(std::max(0, timeoutMs));

    ReadStatus status;
    uint8_t byte = 0;
    std::string collected;
    // A reply starts with its CR or LF; what comes before it is not the reply.
    while (collected.empty()) {
        if (!Poll(line, deadline, status, byte)) {
            reply = EscapeReply;
            return ModemCancelled;
        }
        if (status == ReadStatus::Byte && IsLineEnd(byte)) {
            collected.push_back(static_cast<char>(byte));
        } else if (line.Stopped() || line.Clock.Now() > deadline) {
            return ModemTimeout;
        }
    }
    // Its own opening CR LF never ends it: at least four bytes.
    while (collected.size() < 4 || !IsLineEnd(static_cast<uint8_t>(collected.back()))) {
        if (collected.size() >= MaxReplyLength) {
            break;
        }
        if (!Poll(line, deadline, status, byte)) {
            reply = EscapeReply;
            return ModemCancelled;
        }
        if (status == ReadStatus::Byte) {
            collected.push_back(static_cast<char>(byte));
        } else if (line.Stopped() || line.Clock.Now() > deadline) {
            return ModemTimeout;
        }
    }
    reply = collected;
    return Classify(reply);
}

int ModemReset(ModemLine& line) {
    std::string reply;
    int result = ModemExchange(line, HangUpCommand, reply, ResetTimeoutMs);
    if (result == ModemTimeout) {
        return ModemMissing;
    }
    if (result != ModemOk) {
        return result;
    }
    if (HasReplyMarker(reply)) {
        return ModemOk;
    }
    // On line: back to command mode with "+++" between two guard times, then hang up.
    bool escaped = false;
    for (int cycle = 0; cycle < 3; ++cycle) {
        if (!escaped) {
            Pause(line, EscapeGuard);
            result = ModemExchange(line, EscapeSequence, reply, ResetTimeoutMs);
            if (result != ModemOk) {
                return result;
            }
            escaped = HasReplyMarker(reply);
        }
        Pause(line, EscapeGuard);
        result = ModemExchange(line, HangUpCommand, reply, ResetTimeoutMs);
        if (result != ModemOk) {
            return result;
        }
        if (HasReplyMarker(reply)) {
            return ModemOk;
        }
    }
    return ModemOk;  // the dial will tell whether the modem listens
}

int ModemDial(ModemLine& line, const std::string& number, const std::string& setupCommands,
              int statusPanel, int attempts, int waitSeconds) {
    const int reset = ModemReset(line);
    if (reset != ModemOk) {
        return reset;
    }
    const std::vector<std::string> commands = ModemCommandList(setupCommands);
    const std::string dial = DialCommand(number);
    const int timeoutMs = std::clamp(waitSeconds, 0, INT32_MAX / 1000) * 1000;
    Pause(line, DialSettle);
    int result = ModemOk;
    do {
        result = DialAttempt(line, commands, dial, statusPanel, timeoutMs);
        if (result == ModemOk) {
            return ModemOk;
        }
    } while (--attempts > 0 && !line.Stopped());
    return result;
}

void ModemHangUp(ModemLine& line) {
    Pause(line, HangUpGuard);
    line.Ui.ProcessMessages();
    Send(line, EscapeSequence);
    Pause(line, HangUpGuard);
    line.Ui.ProcessMessages();
    Send(line, HangUpCommand);
}

std::vector<std::string> ModemCommandList(const std::string& setupCommands) {
    std::vector<std::string> commands = {"ATE0V1\r"};
    const std::string& s = setupCommands;
    size_t from = 0;
    while (commands.size() < MaxModemCommands) {
        size_t start = std::string::npos;
        for (size_t i = from; i + 1 < s.size(); ++i) {
            if ((s[i] == 'A' || s[i] == 'a') && (s[i + 1] == 'T' || s[i + 1] == 't')) {
                start = i;
                break;
            }
        }
        if (start == std::string::npos) {
            break;
        }
        const size_t end = s.find('^', start);
        commands.push_back(s.substr(start, end - start) + "\r");
        if (end == std::string::npos) {
            break;
        }
        from = end;
    }
    return commands;
}

std::string DialNumberFilter(const std::string& number) {
    std::string digits;
    for (char c : number) {
        if (c != ' ' && c != '-' && c != '(' && c != ')') {
            digits += c;
        }
    }
    return digits;
}

std::string DialCommand(const std::string& number) {
    return "ATD" + DialNumberFilter(number) + "\r";
}

std::string WithoutLineEnds(const std::string& text) {
    std::string kept;
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            kept += c;
        }
    }
    return kept;
}

std::string DialNumberText(const ConnectionSettings& settings) {
    return FieldText(settings.CountryCode, CountryCodeLength) + " " +
           FieldText(settings.CityCode, CityCodeLength) + " " +
           FieldText(settings.PhoneNumber, sizeof settings.PhoneNumber);
}
