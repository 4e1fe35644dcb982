// The real-time section around the RTS drop: it raises the thread where the system lets it
// and always gives the old scheduling back.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace
