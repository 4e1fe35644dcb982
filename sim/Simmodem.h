#pragma once
// A Hayes-style modem in front of the simulated device: command mode with echo and
// result texts, dialing, a data call to the device, and the "+++" escape with its guard
// times.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Linkclock.h"

class SimModem {
public:
    struct Options {
        std::string phone;       // the number that answers; empty: any number
        std::string dialResult;  // what a dial gets instead of a connection; "silence": nothing
    };

    explicit SimModem(Options options);

    // Bytes from the computer; returns those that pass through the call to the device.
    std::vector<uint8_t> FromComputer(const uint8_t* data, size_t count, LinkTime now);
    // Runs the modem's timers (dial answer, escape guard time).
    void Tick(LinkTime now);
    std::optional<LinkTime> NextDeadline() const;
    // What the modem has to send to the computer.
    std::vector<uint8_t> TakeOutput();

    // Data mode: the device's bytes reach the computer.
    bool Online() const { return online_; }
    bool CallUp() const { return callUp_; }
    // Command lines and results, for the log.
    std::vector<std::string> TakeEvents();

    static constexpr auto GuardTime = std::chrono::seconds(1);
    static constexpr auto DialTime = std::chrono::milliseconds(400);

private:
    void CommandByte(uint8_t byte, LinkTime now);
    void RunCommandLine(const std::string& line, LinkTime now);
    void Result(const char* text, int code);
    void Information(const std::string& text);
    void Reset();
    void HangUp();

    Options options_;
    bool echo_ = true;
    bool verbose_ = true;
    bool quiet_ = false;
    bool callUp_ = false;
    bool online_ = false;
    std::string line_;
    std::optional<LinkTime> dialAnswerAt_;
    std::string dialNumber_;
    // Escape detection in data mode.
    LinkTime lastByte_{};
    int pluses_ = 0;
    std::optional<LinkTime> escapeAt_;
    std::vector<uint8_t> output_;
    std::vector<std::string> events_;
};
