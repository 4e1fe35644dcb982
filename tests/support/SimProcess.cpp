#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

const char* SimExecutable() {
    return ZANTIR_SIM_PATH;
}

SimProcess::SimProcess(const std::string& directory, std::vector<std::string> options,
                       const std::string& name)
    : linkPath_(directory + "/" + name), logPath_(directory + "/" + name + ".log") {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    options.insert(options.begin(), {"--link", linkPath_});
    Spawn(std::move(options), out[1]);
    close(out[1]);
    // The first line on stdout names the pty.
    std::string line;
    char c;
    pollfd pfd{out[0], POLLIN, 0};
    while (line.size() < 200 && poll(&pfd, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    close(out[0]);
    if (line.rfind("pty ", 0) == 0) {
        slavePath_ = line.substr(4);
    }
}

SimProcess SimProcess::OnTty(const std::string& directory, const std::string& tty,
                             std::vector<std::string> options) {
    SimProcess sim;
    sim.onTty_ = true;
    sim.logPath_ = directory + "/tty.log";
    options.insert(options.begin(), {"--tty", tty});
    sim.Spawn(std::move(options), -1);
    return sim;
}

SimProcess::SimProcess(SimProcess&& other) noexcept
    : onTty_(other.onTty_),
      pid_(other.pid_),
      linkPath_(std::move(other.linkPath_)),
      slavePath_(std::move(other.slavePath_)),
      logPath_(std::move(other.logPath_)) {
    other.pid_ = -1;
}

void SimProcess::Spawn(std::vector<std::string> arguments, int stdoutFd) {
    const int err = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0) {
        return;
    }
    arguments.insert(arguments.begin(), SimExecutable());
    std::vector<char*> argv;
    for (auto& a : arguments) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        if (stdoutFd >= 0) {
            dup2(stdoutFd, 1);
        }
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err);
}

std::string SimProcess::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    std::ifstream in(logPath_);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SimProcess::~SimProcess() {
    Stop();
}

std::vector<std::string> TracedFrames(const std::string& text, const char* sent,
                                      const char* received) {
    std::vector<std::string> frames;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        for (const auto& [arrow, side] :
             {std::pair{sent, "sent:"}, std::pair{received, "received:"}}) {
            const size_t at = line.find(arrow);
            if (at != std::string::npos && line.find(" | ", at) != std::string::npos) {
                frames.push_back(side + line.substr(at + 3));
            }
        }
    }
    return frames;
}

std::vector<std::vector<int>> RequestHeaders(const std::string& log) {
    std::vector<std::vector<int>> headers;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find("<- ");
        if (at == std::string::npos) {
            continue;
        }
        std::istringstream hex(line.substr(at + 3));
        std::vector<int> frame;
        unsigned value;
        while (hex >> std::hex >> value) {
            frame.push_back(static_cast<int>(value));
        }
        if (frame.size() >= 10) {
            headers.emplace_back(frame.begin() + 4, frame.begin() + 10);
        }
    }
    return headers;
}
