#pragma once
// Two waiters for one deadline on two processors: the caller and a thread of its own, each
// sleeping to the deadline and spinning the last stretch, and whichever gets there first
// runs the act; the other leaves it. A processor whose timer fires late (on a virtual
// machine a timer interrupt lost until the host's next 100 ms tick, seen here once in
// ten thousand wake-ups; an interrupt storm; a kernel thread of higher priority) then
// does not make the act late, unless both are late at once.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/Linkclock.h"

class DeadlineRace {
public:
    // raise runs first on the second waiter's own thread and makes it real-time; false
    // with the reason where it is refused, and the caller then waits alone.
    using Raise = std::function<bool(std::string& why)>;
    explicit DeadlineRace(Raise raise);
    ~DeadlineRace();
    DeadlineRace(const DeadlineRace&) = delete;
    DeadlineRace& operator=(const DeadlineRace&) = delete;

    // Waits for the raise's outcome; true where the second waiter takes deadlines.
    bool WaitReady();
    // Whether the second waiter would take a deadline now: raised and not still waiting
    // for an earlier one.
    bool Free();
    std::string Refusal();

    // Runs act once, at deadline on clock: the caller and the second waiter, kept on
    // different processors where the system allows it, each wait with
    // clock.SleepPreciselyUntil(deadline, spin), and the first there runs act. Returns
    // act's result once it has run. Where the second waiter is refused, or still waiting
    // for an earlier deadline that the caller met first, the caller waits alone.
    bool Run(LinkClock& clock, LinkTime deadline, LinkDuration spin,
             const std::function<bool()>& act);

private:
    enum class State { Raising, Ready, Refused };
    void Serve(const Raise& raise);

    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Raising;
    std::string refusal_;
    bool stop_ = false;
    // The deadline handed over, while the second waiter has not taken it.
    bool posted_ = false;
    // From the hand-over until the second waiter has given up or run the act.
    bool busy_ = false;
    LinkClock* clock_ = nullptr;
    LinkTime deadline_{};
    LinkDuration spin_{};
    const std::function<bool()>* act_ = nullptr;
    int callerProcessor_ = -1;
    // Taken by the first waiter there; the act belongs to it alone.
    std::atomic<bool> claimed_{false};
    bool secondRan_ = false;
    bool secondResult_ = false;
    std::thread thread_;
};
