// The real-time section around the RTS drop: it raises the thread where the system lets it
// and always gives the old scheduling back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/Deadlinerace.h"
#include "link/Realtime.h"
#include "link/Realtimeworker.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#endif

namespace {

// The thread's scheduling as one number: the policy and priority on Linux, the priority
// on Windows.
int Scheduling() {
#ifdef _WIN32
    return GetThreadPriority(GetCurrentThread());
#else
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy * 1000 + param.sched_priority;
#endif
}

TEST(RealtimeSection, RaisesForItsLifetimeOnlyAndSaysWhatIsInEffect) {
    PrepareRealtime();
    const int before = Scheduling();
    {
        const RealtimeSection section;
        if (section.Raised()) {
            EXPECT_NE(Scheduling(), before);
            // Sections nest: the inner one gives back the outer one's raise, not less.
            const int raised = Scheduling();
            { const RealtimeSection inner; }
            EXPECT_EQ(Scheduling(), raised);
        } else {
            EXPECT_EQ(Scheduling(), before);
        }
    }
    EXPECT_EQ(Scheduling(), before);
    const std::string mechanism = RealtimeMechanism();
    EXPECT_FALSE(mechanism.empty());
    EXPECT_EQ(Scheduling(), before);  // asking does not leave the thread raised
}

TEST(RealtimeSection, RunRealtimeRunsTheWorkOnceAndLeavesTheCallerAsItWas) {
    const int before = Scheduling();
    int runs = 0;
    RunRealtime([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(Scheduling(), before);
}

// The thread RealtimeKit raises: work handed to it runs there, once, and the caller goes
// on only when it has run; a refused raise leaves the work to the caller.
TEST(RealtimeWorker, RunsEachPieceOfWorkOnceOnItsOwnThread) {
    std::thread::id raisedOn;
    RealtimeWorker worker([&](std::string&) {
        raisedOn = std::this_thread::get_id();
        return true;
    });
    ASSERT_TRUE(worker.WaitReady());
    EXPECT_TRUE(worker.Refusal().empty());
    std::atomic<int> total{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 3; ++c) {
        callers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                int seen = 0;
                std::thread::id ranOn;
                ASSERT_TRUE(worker.Run([&] {
                    ranOn = std::this_thread::get_id();
                    seen = 1;
                }));
                ASSERT_EQ(seen, 1);  // done before Run returned
                ASSERT_EQ(ranOn, raisedOn);
                ++total;
            }
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(total, 300);
    EXPECT_NE(raisedOn, std::this_thread::get_id());
}

TEST(RealtimeWorker, ARefusedRaiseTakesNoWorkAndSaysWhy) {
    RealtimeWorker worker([](std::string& why) {
        why = "Operation not permitted";
        return false;
    });
    EXPECT_FALSE(worker.WaitReady());
    EXPECT_FALSE(worker.Ready());
    EXPECT_EQ(worker.Refusal(), "Operation not permitted");
    bool ran = false;
    EXPECT_FALSE(worker.Run([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

// The machine's clock, but every precise wait oversleeps by late on the caller's thread
// (callerLate) or on every other thread.
class OneSideLate final : public LinkClock {
public:
    OneSideLate(bool callerLate, LinkDuration late) : callerLate_(callerLate), late_(late) {}
    LinkTime Now() override { return std::chrono::steady_clock::now(); }
    void SleepUntil(LinkTime deadline) override { std::this_thread::sleep_until(deadline); }
    void SleepPreciselyUntil(LinkTime deadline, LinkDuration) override {
        const bool onCaller = std::this_thread::get_id() == caller_;
        const LinkTime until = deadline + (onCaller == callerLate_ ? late_ : LinkDuration::zero());
        // A sleep may end early (Wine's does, by up to a millisecond): the rest is spun.
        std::this_thread::sleep_until(until);
        while (Now() < until) {
            std::this_thread::yield();
        }
    }

private:
    const std::thread::id caller_ = std::this_thread::get_id();
    const bool callerLate_;
    const LinkDuration late_;
};

// The act as run: on which thread, when, how often.
struct ActRecord {
    std::atomic<int> runs{0};
    std::thread::id thread;
    LinkTime at{};
};

std::function<bool()> Recording(ActRecord& record, LinkClock& clock, bool result) {
    return [&record, &clock, result] {
        record.at = clock.Now();
        record.thread = std::this_thread::get_id();
        ++record.runs;
        return result;
    };
}

const DeadlineRace::Raise Granted = [](std::string&) { return true; };

// A caller woken late: the second waiter has run the act on time, once, and the caller
// hands on the act's own result, failure included.
TEST(DeadlineRace, TheSecondWaiterActsOnTimeWhenTheCallerWakesLate) {
    for (const bool result : {true, false}) {
        OneSideLate clock(true, std::chrono::milliseconds(600));
        DeadlineRace race(Granted);
        ASSERT_TRUE(race.WaitReady());
        ActRecord record;
        const LinkTime deadline = clock.Now() + std::chrono::milliseconds(20);
        EXPECT_EQ(race.Run(clock, deadline, LinkDuration::zero(), Recording(record, clock, result)),
                  result);
        EXPECT_EQ(record.runs, 1);
        EXPECT_NE(record.thread, std::this_thread::get_id());
        EXPECT_GE(record.at, deadline);
        EXPECT_LT(record.at, deadline + std::chrono::milliseconds(300));
    }
}

// The second waiter late, or refused: the caller acts, never before the deadline, and an
// act the caller has run is never run again by the second waiter when it wakes, even
// while deadlines follow faster than the second waiter comes back.
TEST(DeadlineRace, EachActRunsOnceByTheFirstThereNeverEarly) {
    struct Case {
        bool granted;
        int deadlines;
    };
    for (const Case c : {Case{true, 30}, Case{false, 5}}) {
        ActRecord records[30];
        {
            OneSideLate clock(false, std::chrono::milliseconds(15));
            DeadlineRace race(c.granted ? Granted : [](std::string& why) {
                why = "refused";
                return false;
            });
            EXPECT_EQ(race.WaitReady(), c.granted);
            for (int i = 0; i < c.deadlines; ++i) {
                const LinkTime deadline = clock.Now() + std::chrono::milliseconds(2);
                EXPECT_TRUE(race.Run(clock, deadline, LinkDuration::zero(),
                                     Recording(records[i], clock, true)));
                EXPECT_GE(records[i].at, deadline);
                EXPECT_EQ(records[i].thread, std::this_thread::get_id());
            }
        }  // the second waiter has woken from every wait it took
        for (int i = 0; i < c.deadlines; ++i) {
            EXPECT_EQ(records[i].runs, 1) << "deadline " << i;
        }
    }
}

}  // namespace
