#pragma once
// A modem as the dialogue meets it: every write is answered at once by the next queued
// reply, or by `otherwise` when none is left (empty: the modem is silent). Time moves
// only while a read waits for nothing.
#include <deque>
#include <string>
#include <vector>

#include "link/Comportfunctions.h"
#include "tests/support/Fakes.h"

class ReplyPort final : public ComPort {
public:
    explicit ReplyPort(FakeClock& clock) : clock_(clock) {}

    std::deque<std::vector<uint8_t>> replies;
    std::vector<uint8_t> otherwise;
    std::string written;  // every byte written, in order

    bool SetBaudRate(int32_t) override { return true; }
    bool GetTimeouts(ComTimeouts& timeouts) override {
        timeouts = timeouts_;
        return true;
    }
    bool SetTimeouts(const ComTimeouts& timeouts) override {
        timeouts_ = timeouts;
        return true;
    }
    bool Purge() override {
        incoming_.clear();
        return true;
    }
    bool SetDtr(bool) override { return true; }
    bool SetRts(bool) override { return true; }
    bool Write(const uint8_t* data, size_t count) override {
        written.append(reinterpret_cast<const char*>(data), count);
        if (replies.empty()) {
            incoming_.insert(incoming_.end(), otherwise.begin(), otherwise.end());
        } else {
            incoming_.insert(incoming_.end(), replies.front().begin(), replies.front().end());
            replies.pop_front();
        }
        return true;
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
    bool ClearErrors() override { return true; }

private:
    FakeClock& clock_;
    ComTimeouts timeouts_;
    std::deque<uint8_t> incoming_;
};
