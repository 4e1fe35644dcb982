#pragma once
// The exchange trace: what went over the line, timed and decoded. A port that wraps the
// open one records every byte run sent and received, the rate, RTS and DTR, and purges;
// one decoder says what each frame means, for the programs' monitor and trace files and
// for the simulator's log alike. Nothing of it runs unless a trace is asked for.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/Comportfunctions.h"

struct TraceEvent {
    enum class Kind { Command, Sent, Received, Rate, Rts, Dtr, Purge, Lost, RtsDropError };
    Kind kind = Kind::Command;
    int64_t Micros = 0;          // since the command started
    std::vector<uint8_t> Bytes;  // Sent, Received
    // Command: its function code; Rate: bit/s; Rts, Dtr: 1 up; RtsDropError: µs after the
    // last stop bit.
    int32_t Value = 0;
};

// Where the events go; the trace keeps the time since the command started.
class ExchangeTrace {
public:
    ExchangeTrace();
    virtual ~ExchangeTrace() = default;
    // A trace that is off is passed by: the port records nothing, formats nothing and
    // allocates nothing.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    // The engine starts a command: the times count from here.
    void CommandStarted(uint8_t functionCode);
    void Add(TraceEvent event);
    int64_t MicrosNow() const;

protected:
    virtual void Record(const TraceEvent& event) = 0;

private:
    std::chrono::steady_clock::time_point origin_;
    bool enabled_ = true;
};

// A trace that hands each event to a function (a trace file, the monitor window).
class CallbackTrace final : public ExchangeTrace {
public:
    explicit CallbackTrace(std::function<void(const TraceEvent&)> sink) : sink_(std::move(sink)) {}

protected:
    void Record(const TraceEvent& event) override { sink_(event); }

private:
    std::function<void(const TraceEvent&)> sink_;
};

// A port that passes everything to inner and tells trace what passed. The bytes read are
// gathered into one run, which is told when anything else happens on the line.
TransportHandle TracedPort(TransportHandle inner, ExchangeTrace& trace);

// What a run of bytes on the line says. Request runs are the program's (start 0xCC),
// response runs the device's (0x33), framed as the engine's receiver frames them for a
// device at address and judged as the answer to a table exchange.
struct FrameMeaning {
    std::string Text;
    int32_t Result = 0;  // ResultOk, or the result the receiver gives such a run
};
FrameMeaning DecodeFrame(const std::vector<uint8_t>& bytes, bool request, uint8_t address = 0);

// "FF CC 00 ..."
std::string HexBytes(const std::vector<uint8_t>& bytes);
// One line of text, without its end: "    12345 µs  -> FF CC ...  | запрос ..." (a sent
// run is a request and a received one a response, as the program sees the line).
std::string TraceText(const TraceEvent& event);
// The same as one JSON object.
std::string TraceJson(const TraceEvent& event);
// A line of the simulator, which sees the line from the device's side: what it heard
// ("<-") is a request and what it sends ("->") a response.
std::string DeviceSideText(const std::vector<uint8_t>& bytes, bool heard);
