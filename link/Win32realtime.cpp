#include <windows.h>

#include <timeapi.h>  // after windows.h, whose types it needs

#include <string>

#include "link/Realtime.h"

void PrepareRealtime() {
    // The scheduler's tick becomes 1 ms for the life of the program: a sleep that ends
    // near the drop ends within a millisecond of its deadline.
    static const bool period = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)period;
}

std::string RealtimeMechanism() {
    return "THREAD_PRIORITY_TIME_CRITICAL, 1 ms timer";
}

void RunRealtime(const std::function<void()>& work) {
    const RealtimeSection section;
    work();
}

bool RunAtDeadline(LinkClock& clock, LinkTime deadline, LinkDuration spin,
                   const std::function<bool()>& act) {
    clock.SleepPreciselyUntil(deadline, spin);
    return act();
}

RealtimeSection::RealtimeSection() {
    oldPriority_ = GetThreadPriority(GetCurrentThread());
    raised_ = oldPriority_ != THREAD_PRIORITY_ERROR_RETURN &&
              SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

RealtimeSection::~RealtimeSection() {
    if (raised_) {
        SetThreadPriority(GetCurrentThread(), oldPriority_);
    }
}
