#include "link/Deadlinerace.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace {

#if defined(__linux__)
// Keeps the calling thread on the processor it is on for its lifetime and says which
// one that is; -1 (and no change) where the system will not tell or allow it.
class StayOnProcessor {
public:
    StayOnProcessor() {
        const int processor = sched_getcpu();
        if (processor < 0 || sched_getaffinity(0, sizeof old_, &old_) != 0) {
            return;
        }
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(processor, &one);
        if (sched_setaffinity(0, sizeof one, &one) == 0) {
            processor_ = processor;
        }
    }
    ~StayOnProcessor() {
        if (processor_ >= 0) {
            sched_setaffinity(0, sizeof old_, &old_);
        }
    }
    StayOnProcessor(const StayOnProcessor&) = delete;
    StayOnProcessor& operator=(const StayOnProcessor&) = delete;
    int Processor() const { return processor_; }

private:
    cpu_set_t old_{};
    int processor_ = -1;
};

// Lets the calling thread run anywhere it may but on processor; where that leaves
// nothing, as it was.
void AvoidProcessor(const cpu_set_t& allowed, int processor) {
    cpu_set_t others = allowed;
    if (processor >= 0) {
        CPU_CLR(processor, &others);
    }
    if (CPU_COUNT(&others) > 0) {
        sched_setaffinity(0, sizeof others, &others);
    }
}
#else
class StayOnProcessor {
public:
    int Processor() const { return -1; }
};
#endif

}  // namespace

DeadlineRace::DeadlineRace(Raise raise) : thread_([this, raise] { Serve(raise); }) {}

DeadlineRace::~DeadlineRace() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool DeadlineRace::WaitReady() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return state_ != State::Raising; });
    return state_ == State::Ready;
}

bool DeadlineRace::Free() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State::Ready && !busy_ && !stop_;
}

std::string DeadlineRace::Refusal() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return refusal_;
}

void DeadlineRace::Serve(const Raise& raise) {
    std::string why;
    const bool raised = raise(why);
#if defined(__linux__)
    cpu_set_t allowed{};
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
        CPU_ZERO(&allowed);
    }
#endif
    std::unique_lock<std::mutex> lock(mutex_);
    state_ = raised ? State::Ready : State::Refused;
    refusal_ = why;
    changed_.notify_all();
    if (!raised) {
        return;
    }
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || posted_; });
        if (!posted_) {
            return;
        }
        posted_ = false;
        LinkClock& clock = *clock_;
        const LinkTime deadline = deadline_;
        const LinkDuration spin = spin_;
        const std::function<bool()>* act = act_;
#if defined(__linux__)
        const int callerProcessor = callerProcessor_;
#endif
        lock.unlock();
#if defined(__linux__)
        AvoidProcessor(allowed, callerProcessor);
#endif
        clock.SleepPreciselyUntil(deadline, spin);
        // The act is touched only by the one who claims it: where the caller was first,
        // it may be gone already.
        const bool mine = !claimed_.exchange(true);
        const bool result = mine && (*act)();
        lock.lock();
        if (mine) {
            secondRan_ = true;
            secondResult_ = result;
        }
        busy_ = false;
        changed_.notify_all();
    }
}

bool DeadlineRace::Run(LinkClock& clock, LinkTime deadline, LinkDuration spin,
                       const std::function<bool()>& act) {
    const StayOnProcessor here;
    bool alone = true;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (state_ == State::Ready && !busy_ && !stop_) {
            alone = false;
            busy_ = true;
            posted_ = true;
            secondRan_ = false;
            claimed_ = false;
            clock_ = &clock;
            deadline_ = deadline;
            spin_ = spin;
            act_ = &act;
            callerProcessor_ = here.Processor();
        }
    }
    if (alone) {
        clock.SleepPreciselyUntil(deadline, spin);
        return act();
    }
    changed_.notify_all();
    clock.SleepPreciselyUntil(deadline, spin);
    if (!claimed_.exchange(true)) {
        return act();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return secondRan_; });
    return secondResult_;
}
