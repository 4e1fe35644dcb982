#include "tests/support/Fakes.h"

#include <algorithm>
#include <array>

#include "link/Plcbox.h"

void ScriptedPort::Answer(std::vector<uint8_t> bytes, LinkDuration delay, LinkDuration spacing) {
    answers_.push_back({std::move(bytes), delay, spacing});
}

std::vector<PortEvent> ScriptedPort::EventsOf(PortEvent::Kind kind) const {
    std::vector<PortEvent> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [kind](const PortEvent& e) { return e.kind == kind; });
    return found;
}

LinkTime ScriptedPort::TimeOf(PortEvent::Kind kind, int64_t value, size_t n) const {
    for (const auto& e : events) {
        if (e.kind == kind && e.value == value && n-- == 0) {
            return e.time;
        }
    }
    return LinkTime{};
}

void ScriptedPort::Record(PortEvent::Kind kind, int64_t value, std::vector<uint8_t> bytes) {
    events.push_back({kind, clock_.now, value, std::move(bytes)});
}

LinkStatus ScriptedPort::Outcome(PortEvent::Kind kind) const {
    return failing.count(kind) != 0 ? LinkStatus::Failed(failCause) : LinkStatus{};
}

LinkStatus ScriptedPort::SetRate(int32_t rate) {
    Record(PortEvent::Baud, rate);
    return Outcome(PortEvent::Baud);
}

LinkStatus ScriptedPort::Flush() {
    Record(PortEvent::Purge);
    while (!incoming_.empty() && incoming_.front().first <= clock_.now) {
        incoming_.pop_front();
    }
    return Outcome(PortEvent::Purge);
}

LinkStatus ScriptedPort::SetDtr(bool on) {
    Record(PortEvent::Dtr, on ? 1 : 0);
    return Outcome(PortEvent::Dtr);
}

LinkStatus ScriptedPort::SetRts(bool on) {
    Record(PortEvent::Rts, on ? 1 : 0);
    if (!on) {
        Release();
    }
    return Outcome(PortEvent::Rts);
}

LinkStatus ScriptedPort::Drain() {
    Record(PortEvent::Drain);
    return Outcome(PortEvent::Drain);
}

void ScriptedPort::Release() {
    for (const auto& answer : armed_) {
        LinkTime at = clock_.now + answer.delay;
        for (uint8_t b : answer.bytes) {
            incoming_.emplace_back(at, b);
            at += answer.spacing;
        }
    }
    armed_.clear();
}

LinkStatus ScriptedPort::Write(const uint8_t* data, size_t count, std::chrono::nanoseconds limit) {
    Record(PortEvent::Write, static_cast<int64_t>(count), {data, data + count});
    events.back().limit = limit;
    if (failWrites) {
        return LinkStatus::Failed(failCause);
    }
    if (const LinkStatus status = Outcome(PortEvent::Write); !status) {
        return status;
    }
    if (!answers_.empty()) {
        armed_.push_back(std::move(answers_.front()));
        answers_.pop_front();
    }
    // A converter at the far end answers on its own: no RTS drop lets the answer go.
    if (driver == LineDriver::Converter) {
        Release();
    }
    return {};
}

ReadStatus ScriptedPort::ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) {
    if (failing.count(PortEvent::Read) != 0) {
        clock_.now += wait;
        return ReadStatus::Failed;
    }
    if (!incoming_.empty() && incoming_.front().first <= clock_.now + wait) {
        clock_.now = std::max(clock_.now, incoming_.front().first);
        byte = incoming_.front().second;
        incoming_.pop_front();
        return ReadStatus::Byte;
    }
    clock_.now += wait;
    return ReadStatus::None;
}

std::vector<uint8_t> ResponseFrame(uint8_t functionCode, const std::vector<uint8_t>& data,
                                   uint8_t address) {
    std::array<uint8_t, MaxFrameLength> frame{};
    const size_t length =
        BuildFrame(ResponseStart, address, functionCode, data.data(), data.size(), frame.data());
    return {frame.begin(), frame.begin() + static_cast<long>(length)};
}

std::vector<uint8_t> IdentResponse() {
    std::vector<uint8_t> data = {0, 0, 17};  // echo: table 0, field 0, 17 fields
    const std::vector<uint8_t> ident = {0, 8, 0, 5, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    data.insert(data.end(), ident.begin(), ident.end());
    return ResponseFrame(TableExchange | AcceptedBit, data);
}
