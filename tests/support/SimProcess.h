#pragma once
// zantir-sim run as its own process on a pty, for end-to-end tests and the benchmark.
#include <sys/types.h>

#include <string>
#include <vector>

class SimProcess {
public:
    // Starts zantir-sim with --link <dir>/<name> and the given options; ok() tells
    // whether it came up and printed its pty.
    SimProcess(const std::string& directory, std::vector<std::string> options,
               const std::string& name = "COM1");
    // Starts zantir-sim with --tty path and the given options; it prints nothing.
    static SimProcess OnTty(const std::string& directory, const std::string& tty,
                            std::vector<std::string> options);
    SimProcess(SimProcess&& other) noexcept;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ok() const { return pid_ > 0 && (onTty_ || !slavePath_.empty()); }
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& SlavePath() const { return slavePath_; }
    // Ends the simulator; returns what it wrote on stderr (its log) in all.
    std::string Stop();

private:
    SimProcess() = default;
    void Spawn(std::vector<std::string> arguments, int stdoutFd);

    bool onTty_ = false;
    pid_t pid_ = -1;
    std::string linkPath_, slavePath_, logPath_;
};

// Table exchange headers (frame bytes 4 to 9) of the requests in a simulator's --log, in
// the order the simulator took them.
std::vector<std::vector<int>> RequestHeaders(const std::string& log);

// The frames of a trace or a simulator's log in order, each as "sent:" or "received:" (as
// the program sees the line) and its bytes and meaning; sent and received are the arrows
// that mark the two.
std::vector<std::string> TracedFrames(const std::string& text, const char* sent,
                                      const char* received);

// Where the build put zantir-sim.
const char* SimExecutable();
