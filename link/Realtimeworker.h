#pragma once
// A thread of the process's own for the moments that must be met on time, where the
// calling thread may not raise itself but the system lends a real-time priority to a
// thread that asks for it once (RealtimeKit on a Linux desktop, as audio programs use).
// Work is handed to it and the caller waits until the work has run.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class RealtimeWorker {
public:
    // raise runs first on the worker's own thread and makes it real-time; false with the
    // reason in its argument where it is refused, and the worker then takes no work.
    using Raise = std::function<bool(std::string& why)>;
    explicit RealtimeWorker(Raise raise);
    ~RealtimeWorker();
    RealtimeWorker(const RealtimeWorker&) = delete;
    RealtimeWorker& operator=(const RealtimeWorker&) = delete;

    // Whether the raise succeeded, once it has been decided; until then false.
    bool Ready();
    // Waits for the raise's outcome; true where the worker is real-time.
    bool WaitReady();
    // The raise's refusal, once decided.
    std::string Refusal();
    // Runs work on the worker and returns when it has run; false (work not run) where the
    // worker is not ready.
    bool Run(const std::function<void()>& work);

private:
    enum class State { Raising, Ready, Refused };
    void Serve(const Raise& raise);

    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Raising;
    std::string refusal_;
    const std::function<void()>* work_ = nullptr;
    bool stop_ = false;
    uint64_t finished_ = 0;  // pieces of work run
    std::thread thread_;
};
