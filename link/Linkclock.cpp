#include "link/Linkclock.h"

#include <cerrno>
#include <ctime>
#include <thread>

namespace {

class MonotonicClock final : public LinkClock {
public:
    LinkTime Now() override { return std::chrono::steady_clock::now(); }

    void SleepPreciselyUntil(LinkTime deadline, LinkDuration spin) override {
        // A wake-up from the kernel may come late by tens of microseconds, more on a busy
        // machine; the spin after it is bounded by the caller's margin.
        SleepUntil(deadline - spin);
        while (Now() < deadline) {
        }
    }

    void SleepUntil(LinkTime deadline) override {
#if defined(__linux__)
        // steady_clock is CLOCK_MONOTONIC here; an absolute sleep does not drift on EINTR.
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch())
                .count();
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(ns / 1000000000);
        ts.tv_nsec = static_cast<long>(ns % 1000000000);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
#else
        std::this_thread::sleep_until(deadline);
#endif
    }
};

}  // namespace

LinkClock& SystemClock() {
    static MonotonicClock clock;
    return clock;
}

uint64_t QueryTimerFrequency() {
    using Period = std::chrono::steady_clock::period;
    return static_cast<uint64_t>(Period::den / Period::num);
}
