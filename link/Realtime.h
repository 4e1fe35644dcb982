#pragma once
// The moment that must be met to the microsecond, the RTS drop after the last stop bit,
// is waited for with what the platform offers for waking on time on a busy machine: a
// real-time priority for the thread (SCHED_FIFO within RLIMIT_RTPRIO on Linux, or a
// thread RealtimeKit makes real-time where the user has none of his own; time-critical
// with a 1 ms timer on Windows), memory locked and pre-faulted, a second real-time waiter
// on another processor (Linux), and a spin no longer than one byte's time. Where none is allowed
// the wait is as it always was.
#include <functional>
#include <string>

#include "link/Linkclock.h"

// Once per process, before the first exchange: locks the program's memory where allowed
// and touches the stack the wait will use, so that no page fault lands on it.
void PrepareRealtime();

// What is in effect for the drop, for the bench: "SCHED_FIFO 10, memory
// locked", "RealtimeKit: SCHED_RR 10 on a thread of its own, ...", or "none: ..." with
// the reason.
std::string RealtimeMechanism();

// Runs work at the real-time priority and returns when it has run: on the calling thread
// raised where the process may raise itself, on the thread RealtimeKit made real-time
// where only that is allowed, else on the calling thread as it is.
void RunRealtime(const std::function<void()>& work);

// Runs act once at deadline on clock (sleeping, then spinning at most spin) and returns its
// result. Where the process is real-time and the machine has a second processor, a
// real-time thread on the other processor waits for the same deadline and runs act if it
// gets there first, so that one processor's late wake-up does not make act late.
bool RunAtDeadline(LinkClock& clock, LinkTime deadline, LinkDuration spin,
                   const std::function<bool()>& act);

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
