#pragma once
// Doubles for the link: a clock that moves only when the code under test waits, a port
// that records every line operation with its time and answers as the test scripts it,
// and a screen that records every text and message pump.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "link/Comportfunctions.h"
#include "link/Linkclock.h"
#include "link/Screen.h"

class FakeClock final : public LinkClock {
public:
    LinkTime Now() override { return now; }
    void SleepUntil(LinkTime deadline) override {
        if (deadline > now) {
            now = deadline;
        }
    }
    LinkTime now{std::chrono::seconds(1000)};
};

struct PortEvent {
    enum Kind { Baud, Purge, Dtr, Rts, Drain, Write, Read };
    Kind kind;
    LinkTime time;
    int64_t value = 0;  // rate, or 1/0 for a line raised or dropped
    std::vector<uint8_t> bytes;
    std::chrono::nanoseconds limit{};  // of a write
};

class ScriptedPort final : public Transport {
public:
    explicit ScriptedPort(FakeClock& clock) : clock_(clock) {}

    // The answer to the next write: its bytes arrive from `delay` after RTS drops,
    // `spacing` apart. A write with no answer queued meets a silent device.
    void Answer(std::vector<uint8_t> bytes, LinkDuration delay = std::chrono::milliseconds(5),
                LinkDuration spacing = LinkDuration::zero());

    bool failWrites = false;
    // Calls of these kinds fail with failCause (Read: every read fails).
    std::set<PortEvent::Kind> failing;
    std::string failCause = "отказ порта";
    // A converter at the far end of a network: the answer goes out once the request is in.
    LineDriver driver = LineDriver::Program;
    std::chrono::nanoseconds roundTrip{};
    std::vector<PortEvent> events;

    std::vector<PortEvent> EventsOf(PortEvent::Kind kind) const;
    // Time of the n-th event of kind that carries value (for Dtr and Rts: 1 up, 0 down).
    LinkTime TimeOf(PortEvent::Kind kind, int64_t value, size_t n = 0) const;

    LinkStatus SetRate(int32_t rate) override;
    LinkStatus Flush() override;
    LinkStatus SetDtr(bool on) override;
    LinkStatus SetRts(bool on) override;
    LinkStatus Drain() override;
    LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) override;
    ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) override;
    std::string ReadFailure() const override { return failCause; }
    LineDriver Driver() const override { return driver; }
    std::chrono::nanoseconds RoundTrip() const override { return roundTrip; }

private:
    struct Pending {
        std::vector<uint8_t> bytes;
        LinkDuration delay;
        LinkDuration spacing;
    };
    void Record(PortEvent::Kind kind, int64_t value = 0, std::vector<uint8_t> bytes = {});
    LinkStatus Outcome(PortEvent::Kind kind) const;
    // The armed answers start to arrive.
    void Release();

    FakeClock& clock_;
    std::deque<Pending> answers_;
    std::vector<Pending> armed_;  // answer of the last write, sent when RTS drops
    std::deque<std::pair<LinkTime, uint8_t>> incoming_;
};

// Passes everything through to a real port and notes what went over the line.
class TappedPort final : public Transport {
public:
    explicit TappedPort(Transport& port) : port_(port) {}
    LinkStatus SetRate(int32_t rate) override { return port_.SetRate(rate); }
    LinkStatus Flush() override { return port_.Flush(); }
    LinkStatus SetDtr(bool on) override { return port_.SetDtr(on); }
    LinkStatus SetRts(bool on) override { return port_.SetRts(on); }
    LinkStatus Drain() override { return port_.Drain(); }
    LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) override {
        sent.append(reinterpret_cast<const char*>(data), count);
        return port_.Write(data, count, limit);
    }
    ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) override {
        const ReadStatus status = port_.ReadByte(byte, wait);
        received += status == ReadStatus::Byte ? 1 : 0;
        return status;
    }
    std::string ReadFailure() const override { return port_.ReadFailure(); }
    bool LineLost() const override { return port_.LineLost(); }
    LineDriver Driver() const override { return port_.Driver(); }
    std::chrono::nanoseconds RoundTrip() const override { return port_.RoundTrip(); }

    std::string sent;  // every byte written, in order
    size_t received = 0;

private:
    Transport& port_;
};

class RecordingScreen final : public Screen {
public:
    struct Message {
        int kind;
        std::string first, second;
        bool operator==(const Message&) const = default;
    };

    explicit RecordingScreen(LinkClock& clock) : clock_(clock) {}
    void SetPanelText(int panel, const std::string& text) override {
        panels.emplace_back(panel, text);
    }
    void ProcessMessages() override {
        pumps.push_back(clock_.Now());
        if (onPump) {
            onPump();
        }
    }
    void SetProgressMaximum(int maximum) override {
        progressMaximum = maximum;
        progress = 0;
    }
    void StepProgress() override { ++progress; }
    void FillProgress() override { progress = std::max(progress, progressMaximum); }
    // Answers questions from `answers` in turn, then Нет.
    bool ShowMessage(int kind, const std::string& first, const std::string& second) override {
        messages.push_back({kind, first, second});
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool EscapePressed() override {
        const bool pressed = escape;
        escape = false;
        return pressed;
    }
    // Texts that panel has shown, in order.
    std::vector<std::string> PanelTexts(int panel) const {
        std::vector<std::string> texts;
        for (const auto& [p, text] : panels) {
            if (p == panel) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    std::vector<std::pair<int, std::string>> panels;
    std::vector<LinkTime> pumps;
    std::vector<Message> messages;
    std::deque<bool> answers;
    std::function<void()> onPump;  // what the window system delivers during a pump
    int progressMaximum = 0;
    int progress = 0;
    bool escape = false;

private:
    LinkClock& clock_;
};

// A response frame from the device at address 0, check sum and all.
std::vector<uint8_t> ResponseFrame(uint8_t functionCode, const std::vector<uint8_t>& data,
                                   uint8_t address = 0);
// The device's answer to an identification read (table 0, fields 0..16).
std::vector<uint8_t> IdentResponse();
