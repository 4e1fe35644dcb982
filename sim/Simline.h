#pragma once
// The simulator's side of the serial line: takes request frames off the line, lets the
// device answer after its latency and after the request has had its time on the wire,
// and sends the answer at the line's rate, byte by byte.
#include <csignal>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/Linkclock.h"
#include "sim/Simdevice.h"
#include "sim/Simmodem.h"

struct SimLineOptions {
    int32_t answerRate = 0;  // answer only while the line runs at this rate; 0: any rate
    bool ownsRate = false;   // a real port: the simulator sets its rate itself
    int32_t ownRate = 9600;
    std::chrono::milliseconds latency{5};
    std::string statePath;  // saved after every accepted write; empty: none
    bool log = false;
};

class SimLine {
public:
    SimLine(int fd, SimDevice& device, SimModem* modem, SimLineOptions options);
    // Serves until stop is set; false when the line failed.
    bool Serve(const volatile std::sig_atomic_t& stop);

private:
    struct Answer {
        LinkTime at;
        std::vector<uint8_t> bytes;
        bool tableThreeWritten;
    };

    void OnBytes(const uint8_t* data, size_t count, LinkTime now);
    void OnRequestByte(uint8_t byte, LinkTime now);
    void OnFrame(LinkTime now);
    void ReleaseAnswers(LinkTime now);
    void Send(const std::vector<uint8_t>& bytes, LinkTime now);
    bool Flush(LinkTime now);
    void FollowTableThree();
    int32_t LineRate() const;
    LinkDuration ByteTime() const;
    void Log(const std::string& text) const;
    // A frame heard (a request) or sent (an answer), decoded as the programs decode it.
    void LogFrame(const std::vector<uint8_t>& bytes, bool heard) const;

    int fd_;
    SimDevice& device_;
    SimModem* modem_;
    SimLineOptions options_;
    LinkTime started_;
    // The request being taken off the line.
    std::vector<uint8_t> frame_;
    LinkTime burstStart_{};
    LinkTime lastByte_{};
    size_t burstBytes_ = 0;
    std::deque<Answer> answers_;
    // Bytes on their way out, one byte time apart.
    std::deque<uint8_t> out_;
    LinkTime nextOut_{};
    int32_t pendingOwnRate_ = 0;
};
