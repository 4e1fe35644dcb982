#pragma once
// The clock of the link: every wait of an exchange is a duration on it.
#include <chrono>
#include <cstdint>
#include <functional>

using LinkTime = std::chrono::steady_clock::time_point;
using LinkDuration = std::chrono::steady_clock::duration;

class LinkClock {
public:
    virtual ~LinkClock() = default;
    virtual LinkTime Now() = 0;
    // A fixed pause that processes no GUI messages: returns at the deadline, not before.
    virtual void SleepUntil(LinkTime deadline) = 0;
    // The same for a deadline that must be met to the microsecond (the RTS drop): the
    // real clock sleeps to shortly before it and spins the rest, never longer than spin.
    virtual void SleepPreciselyUntil(LinkTime deadline, LinkDuration spin) {
        (void)spin;
        SleepUntil(deadline);
    }
    // Runs act at such a deadline and returns its result; the real clock has a second
    // waiter on another processor run it where the caller's own wake-up comes late.
    virtual bool RunPreciselyAt(LinkTime deadline, LinkDuration spin,
                                const std::function<bool()>& act) {
        SleepPreciselyUntil(deadline, spin);
        return act();
    }
};

// The monotonic clock of the machine; sleeps in the kernel until an absolute deadline.
LinkClock& SystemClock();

// Counts per second of the clock above (the high-resolution counter).
uint64_t QueryTimerFrequency();
