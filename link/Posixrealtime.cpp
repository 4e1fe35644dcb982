#include <link.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "link/Deadlinerace.h"
#include "link/Realtime.h"
#include "link/Realtimekit.h"
#include "link/Realtimeworker.h"

namespace {

// High enough to come before the desktop's ordinary threads, low enough to leave the
// kernel's own real-time threads (at 50 and above) in front.
constexpr int WantedPriority = 10;

std::atomic<bool> prepared{false};
std::atomic<bool> locked{false};

// The priority the thread may take: any for root (CAP_SYS_NICE), else up to
// RLIMIT_RTPRIO; 0 when none.
int AllowedPriority() {
    if (geteuid() == 0) {
        return WantedPriority;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0) {
        return 0;
    }
    if (limit.rlim_cur == RLIM_INFINITY) {
        return WantedPriority;
    }
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, WantedPriority));
}

// The stack a wait runs on: 64 KiB below the caller's frame, touched and locked, so that
// its pages are there when the wait runs.
__attribute__((noinline)) bool LockStack() {
    volatile char pages[64 * 1024];
    for (size_t i = 0; i < sizeof pages; i += 4096) {
        pages[i] = 0;
    }
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<uintptr_t>(&pages[0]) & ~(page - 1);
    return mlock(reinterpret_cast<void*>(begin), sizeof pages) == 0;
}

// The program's own code (the link's among it), not the libraries' nor its data: a few
// MiB, within the limit an ordinary user has or close to it.
int LockProgramCode(dl_phdr_info* info, size_t, void* locked) {
    bool& all = *static_cast<bool*>(locked);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type == PT_LOAD && (header.p_flags & PF_X) != 0) {
            const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
            const uintptr_t start = (info->dlpi_addr + header.p_vaddr) & ~(page - 1);
            const uintptr_t end = info->dlpi_addr + header.p_vaddr + header.p_memsz;
            all = mlock(reinterpret_cast<void*>(start), end - start) == 0 && all;
        }
    }
    return 1;  // the first object is the program itself: no more
}

// Where the process may not raise itself: a thread of its own that RealtimeKit makes
// real-time, asked once per process; nullptr where the process may raise itself.
std::atomic<int> kitPriority{0};
RealtimeWorker* kitWorker = nullptr;

// The second waiters for the drop, on another processor, raised as the drop's own thread
// is; none on a machine with one processor. Two, so that one still asleep after a late
// wake-up (the very thing it guards against) does not leave the next drops unguarded.
DeadlineRace* secondWaiters[2] = {};

// Raises the calling thread for the life of the thread, as the drop is raised: itself
// where the process may, else by RealtimeKit; and locks the stack it will wait on.
bool RaiseForGood(std::string& why) {
    const int priority = AllowedPriority();
    if (priority > 0) {
        sched_param param{};
        param.sched_priority = priority;
        const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        if (error != 0) {
            why = std::strerror(error);
            return false;
        }
    } else {
        int granted = 0;
        if (!MakeThreadRealtimeByKit(WantedPriority, granted, why)) {
            return false;
        }
        kitPriority = granted;
    }
    LockStack();
    return true;
}

}  // namespace

void PrepareRealtime() {
    if (prepared.exchange(true)) {
        return;
    }
    bool all = true;
    dl_iterate_phdr(LockProgramCode, &all);
    locked = LockStack() && all;
    // Never destroyed: these threads wait for work for the life of the process.
    if (AllowedPriority() == 0) {
        kitWorker = new RealtimeWorker(RaiseForGood);
    }
    if (sysconf(_SC_NPROCESSORS_ONLN) > 1) {
        for (DeadlineRace*& waiter : secondWaiters) {
            waiter = new DeadlineRace(RaiseForGood);
        }
    }
}

bool RunAtDeadline(LinkClock& clock, LinkTime deadline, LinkDuration spin,
                   const std::function<bool()>& act) {
    PrepareRealtime();
    for (DeadlineRace* waiter : secondWaiters) {
        if (waiter != nullptr && waiter->Free()) {
            return waiter->Run(clock, deadline, spin, act);
        }
    }
    clock.SleepPreciselyUntil(deadline, spin);
    return act();
}

void RunRealtime(const std::function<void()>& work) {
    PrepareRealtime();
    if (kitWorker != nullptr && kitWorker->WaitReady() && kitWorker->Run(work)) {
        return;
    }
    const RealtimeSection section;
    work();
}

std::string RealtimeMechanism() {
    PrepareRealtime();
    std::string memory = locked ? ", memory locked" : ", memory not locked";
    if (secondWaiters[0] != nullptr && secondWaiters[0]->WaitReady() &&
        secondWaiters[1]->WaitReady()) {
        memory += ", a second waiter on another processor";
    }
    if (kitWorker != nullptr) {
        if (kitWorker->WaitReady()) {
            return "RealtimeKit: SCHED_RR " + std::to_string(kitPriority.load()) +
                   " on a thread of its own" + memory;
        }
        return "none: no real-time priority allowed (RLIMIT_RTPRIO 0; RealtimeKit: " +
               kitWorker->Refusal() + ")" + memory;
    }
    // Whether the raise is allowed shows only by trying it.
    const RealtimeSection section;
    const std::string text =
        section.Raised() ? "SCHED_FIFO " + std::to_string(AllowedPriority())
                         : std::string("none: no real-time priority allowed (RLIMIT_RTPRIO)");
    return text + memory;
}

RealtimeSection::RealtimeSection() {
    const int priority = AllowedPriority();
    if (priority <= 0) {
        return;
    }
    sched_param old{};
    if (pthread_getschedparam(pthread_self(), &oldPolicy_, &old) != 0) {
        return;
    }
    oldPriority_ = old.sched_priority;
    sched_param param{};
    param.sched_priority = priority;
    raised_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

RealtimeSection::~RealtimeSection() {
    if (raised_) {
        sched_param old{};
        old.sched_priority = oldPriority_;
        pthread_setschedparam(pthread_self(), oldPolicy_, &old);
    }
}
