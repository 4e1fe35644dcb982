#include "link/Linkclock.h"

#include "link/Realtime.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <thread>

namespace {

class MonotonicClock final : public LinkClock {
public:
    LinkTime Now() override { return std::chrono::steady_clock::now(); }

    void SleepPreciselyUntil(LinkTime deadline, LinkDuration spin) override {
        // The last stretch is slept in short steps: a processor that stays idle longer is
        // halted, and on a virtual machine its host may wake it milliseconds late (seen
        // here: 2.5 ms at p99, 12 ms at worst, whatever the thread's priority). Steps
        // shorter than the host's halt polling keep it awake at the cost of a wake-up
        // every 100 µs; only the spin at the end, at most one byte's time, keeps the
        // processor busy.
        constexpr auto Stepped = std::chrono::milliseconds(20);
        constexpr auto Step = std::chrono::microseconds(100);
        const LinkTime spinFrom = deadline - spin;
        SleepUntil(spinFrom - Stepped);
        for (LinkTime now = Now(); now < spinFrom; now = Now()) {
            SleepUntil(std::min<LinkTime>(now + Step, spinFrom));
        }
        while (Now() < deadline) {
        }
    }

    bool RunPreciselyAt(LinkTime deadline, LinkDuration spin,
                        const std::function<bool()>& act) override {
        return RunAtDeadline(*this, deadline, spin, act);
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
