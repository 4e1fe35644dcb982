// The real-time section around the RTS drop: it raises the thread where the system lets it
// and always gives the old scheduling back.
#include <gtest/gtest.h>

#include <string>

#include "link/Realtime.h"

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

}  // namespace
