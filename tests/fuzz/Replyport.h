#pragma once
// A modem as the dialogue meets it: every write is answered at once by the next queued
// reply, or by `otherwise` when none is left (empty: the modem is silent). Time moves
// only while a read waits for nothing.
#include <deque>
#include <string>
#include <vector>

#include "link/Comportfunctions.h"
#include "tests/support/Fakes.h"

class ReplyPort final : public Transport {
public:
    explicit ReplyPort(FakeClock& clock) : clock_(clock) {}

    std::deque<std::vector<uint8_t>> replies;
    std::vector<uint8_t> otherwise;
    std::string written;  // every byte written, in order

    LinkStatus SetRate(int32_t) override { return {}; }
    LinkStatus Flush() override {
        incoming_.clear();
        return {};
    }
    LinkStatus SetDtr(bool) override { return {}; }
    LinkStatus SetRts(bool) override { return {}; }
    LinkStatus Drain() override { return {}; }
    LinkStatus Write(const uint8_t* data, size_t count, std::chrono::nanoseconds) override {
        written.append(reinterpret_cast<const char*>(data), count);
        if (replies.empty()) {
            incoming_.insert(incoming_.end(), otherwise.begin(), otherwise.end());
        } else {
            incoming_.insert(incoming_.end(), replies.front().begin(), replies.front().end());
            replies.pop_front();
        }
        return {};
    }
    ReadStatus ReadByte(uint8_t& byte, std::chrono::nanoseconds wait) override {
        if (incoming_.empty()) {
            clock_.now += wait;
            return ReadStatus::None;
        }
        byte = incoming_.front();
        incoming_.pop_front();
        return ReadStatus::Byte;
    }

private:
    FakeClock& clock_;
    std::deque<uint8_t> incoming_;
};
