#include "sim/Simmodem.h"

#include <algorithm>
#include <cctype>

namespace {

struct ResultText {
    const char* text;
    int code;
};

constexpr ResultText Ok{"OK", 0};
constexpr ResultText Connect{"CONNECT 9600", 1};
constexpr ResultText NoCarrier{"NO CARRIER", 3};
constexpr ResultText Error{"ERROR", 4};

// Numeric codes of the results a dial may be told to give.
int CodeOf(const std::string& text) {
    if (text == "NO CARRIER") {
        return 3;
    }
    if (text == "ERROR") {
        return 4;
    }
    if (text == "NO DIALTONE") {
        return 6;
    }
    if (text == "BUSY") {
        return 7;
    }
    if (text == "NO ANSWER") {
        return 8;
    }
    return 1;
}

std::string DigitsOf(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digits += c;
        }
    }
    return digits;
}

}  // namespace

SimModem::SimModem(Options options) : options_(std::move(options)) {}

void SimModem::Reset() {
    echo_ = true;
    verbose_ = true;
    quiet_ = false;
}

void SimModem::HangUp() {
    callUp_ = false;
    online_ = false;
    pluses_ = 0;
    escapeAt_.reset();
}

void SimModem::Information(const std::string& text) {
    const std::string line = "\r\n" + text + "\r\n";
    output_.insert(output_.end(), line.begin(), line.end());
}

void SimModem::Result(const char* text, int code) {
    events_.push_back(std::string("modem -> ") + text);
    if (quiet_) {
        return;
    }
    std::string reply =
        verbose_ ? std::string("\r\n") + text + "\r\n" : "\r\n" + std::to_string(code) + "\r";
    output_.insert(output_.end(), reply.begin(), reply.end());
}

std::vector<uint8_t> SimModem::FromComputer(const uint8_t* data, size_t count, LinkTime now) {
    std::vector<uint8_t> toDevice;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = data[i];
        if (!online_) {
            CommandByte(byte, now);
            continue;
        }
        // "+++" counts only after a second of silence and when another follows it.
        const bool afterSilence = now - lastByte_ >= GuardTime;
        if (byte == '+' && pluses_ < 3 && (pluses_ > 0 || afterSilence)) {
            ++pluses_;
            if (pluses_ == 3) {
                escapeAt_ = now + GuardTime;
            }
        } else {
            toDevice.insert(toDevice.end(), static_cast<size_t>(pluses_), '+');
            pluses_ = 0;
            escapeAt_.reset();
            toDevice.push_back(byte);
        }
        lastByte_ = now;
    }
    return toDevice;
}

void SimModem::CommandByte(uint8_t byte, LinkTime now) {
    if (dialAnswerAt_) {
        // Any key aborts a dial in progress, as on a real modem.
        dialAnswerAt_.reset();
        Result(NoCarrier.text, NoCarrier.code);
    }
    if (echo_) {
        output_.push_back(byte);
    }
    if (byte == '\r') {
        const std::string line = line_;
        line_.clear();
        RunCommandLine(line, now);
    } else if (byte == 8 || byte == 127) {
        if (!line_.empty()) {
            line_.pop_back();
        }
    } else if (byte != '\n' && line_.size() < 255) {
        line_ += static_cast<char>(byte);
    }
}

void SimModem::RunCommandLine(const std::string& text, LinkTime now) {
    // Whatever stands before the first "AT" is line noise to a modem.
    size_t start = std::string::npos;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) == 'A' &&
            std::toupper(static_cast<unsigned char>(text[i + 1])) == 'T') {
            start = i;
            break;
        }
    }
    if (start == std::string::npos) {
        return;
    }
    events_.push_back("modem <- " + text.substr(start));
    const std::string commands = text.substr(start + 2);
    size_t i = 0;
    auto number = [&commands, &i]() {
        // A long run of digits stops growing the value instead of overflowing it.
        constexpr int Largest = 1000000;
        int value = 0;
        while (i < commands.size() && std::isdigit(static_cast<unsigned char>(commands[i]))) {
            value = std::min(Largest, value * 10 + (commands[i++] - '0'));
        }
        return value;
    };
    while (i < commands.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(commands[i++])));
        switch (c) {
            case ' ':
                break;
            case 'E':
                echo_ = number() != 0;
                break;
            case 'V':
                verbose_ = number() != 0;
                break;
            case 'Q':
                quiet_ = number() != 0;
                break;
            case 'Z':
                Reset();
                number();
                break;
            case 'I':
                number();
                Information("ZANTIR-SIM 9600");  // a line of its own before the result
                break;
            case 'H':
                number();
                HangUp();
                break;
            case 'O':
                number();
                if (!callUp_) {
                    Result(NoCarrier.text, NoCarrier.code);
                    return;
                }
                online_ = true;
                lastByte_ = now;
                Result(Connect.text, Connect.code);
                return;
            case 'D':
                dialNumber_ = DigitsOf(commands.substr(i));
                if (callUp_) {
                    Result(Error.text, Error.code);
                    return;
                }
                dialAnswerAt_ = now + DialTime;
                return;
            case 'S':
                number();
                if (i < commands.size() && (commands[i] == '=' || commands[i] == '?')) {
                    ++i;
                    number();
                }
                break;
            case '&':
            case '\\':
            case '%':
                if (i < commands.size()) {
                    ++i;
                }
                number();
                break;
            default:
                if (!std::isalpha(static_cast<unsigned char>(c))) {
                    Result(Error.text, Error.code);
                    return;
                }
                number();
        }
    }
    Result(Ok.text, Ok.code);
}

void SimModem::Tick(LinkTime now) {
    if (dialAnswerAt_ && now >= *dialAnswerAt_) {
        dialAnswerAt_.reset();
        const std::string& told = options_.dialResult;
        if (told == "silence") {
            events_.push_back("modem: dial left unanswered");
        } else if (!told.empty()) {
            Result(told.c_str(), CodeOf(told));
        } else if (!options_.phone.empty() && dialNumber_ != options_.phone) {
            Result("NO ANSWER", 8);
        } else {
            callUp_ = true;
            online_ = true;
            lastByte_ = now;
            pluses_ = 0;
            Result(Connect.text, Connect.code);
        }
    }
    if (escapeAt_ && now >= *escapeAt_) {
        escapeAt_.reset();
        pluses_ = 0;
        online_ = false;
        Result(Ok.text, Ok.code);
    }
}

std::optional<LinkTime> SimModem::NextDeadline() const {
    if (dialAnswerAt_ && escapeAt_) {
        return std::min(*dialAnswerAt_, *escapeAt_);
    }
    return dialAnswerAt_ ? dialAnswerAt_ : escapeAt_;
}

std::vector<uint8_t> SimModem::TakeOutput() {
    std::vector<uint8_t> out;
    out.swap(output_);
    return out;
}

std::vector<std::string> SimModem::TakeEvents() {
    std::vector<std::string> out;
    out.swap(events_);
    return out;
}
