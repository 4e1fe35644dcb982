#include "link/Realtimeworker.h"

RealtimeWorker::RealtimeWorker(Raise raise) : thread_([this, raise] { Serve(raise); }) {}

RealtimeWorker::~RealtimeWorker() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void RealtimeWorker::Serve(const Raise& raise) {
    std::string why;
    const bool raised = raise(why);
    std::unique_lock<std::mutex> lock(mutex_);
    state_ = raised ? State::Ready : State::Refused;
    refusal_ = why;
    changed_.notify_all();
    if (!raised) {
        return;
    }
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || work_ != nullptr; });
        if (work_ == nullptr) {
            return;
        }
        const std::function<void()>* work = work_;
        lock.unlock();
        (*work)();
        lock.lock();
        work_ = nullptr;
        ++finished_;
        changed_.notify_all();
    }
}

bool RealtimeWorker::Ready() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State::Ready;
}

bool RealtimeWorker::WaitReady() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return state_ != State::Raising; });
    return state_ == State::Ready;
}

std::string RealtimeWorker::Refusal() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return refusal_;
}

bool RealtimeWorker::Run(const std::function<void()>& work) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ != State::Ready) {
        return false;
    }
    // One piece of work at a time: a second caller waits for the first's to end.
    changed_.wait(lock, [this] { return work_ == nullptr; });
    work_ = &work;
    const uint64_t mine = finished_ + 1;
    changed_.notify_all();
    changed_.wait(lock, [this, mine] { return finished_ >= mine; });
    return true;
}
