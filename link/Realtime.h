#pragma once
// The moment that must be met to the microsecond, the RTS drop after the last stop bit,
// is waited for with what the platform offers for waking on time on a busy machine: a
// real-time priority for the thread (SCHED_FIFO within RLIMIT_RTPRIO on Linux,
// time-critical with a 1 ms timer on Windows), memory locked and pre-faulted, and a spin
// no longer than one byte's time. Where none is allowed the wait is as it always was.
#include <string>

// Once per process, before the first exchange: locks the program's memory where allowed
// and touches the stack the wait will use, so that no page fault lands on it.
void PrepareRealtime();

// What is in effect for the drop, for the bench and the trace: "SCHED_FIFO 10, memory
// locked", or "none: ..." with the reason.
std::string RealtimeMechanism();

// For its lifetime the calling thread runs with the real-time priority, where it may;
// the old scheduling comes back at its end.
class RealtimeSection {
public:
    RealtimeSection();
    ~RealtimeSection();
    RealtimeSection(const RealtimeSection&) = delete;
    RealtimeSection& operator=(const RealtimeSection&) = delete;
    bool Raised() const { return raised_; }

private:
    bool raised_ = false;
    int oldPolicy_ = 0;
    int oldPriority_ = 0;
};
