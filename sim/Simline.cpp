#include "sim/Simline.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "config/Baudrates.h"
#include "link/Exchangetrace.h"
#include "link/Linerate.h"
#include "link/Plcbox.h"

namespace {

constexpr auto LongestPoll = std::chrono::milliseconds(200);
constexpr auto RequestGap = std::chrono::milliseconds(50);  // silence that ends a request

}  // namespace

SimLine::SimLine(int fd, SimDevice& device, SimModem* modem, SimLineOptions options)
    : fd_(fd),
      device_(device),
      modem_(modem),
      options_(std::move(options)),
      started_(std::chrono::steady_clock::now()) {}

int32_t SimLine::LineRate() const {
    if (options_.ownsRate) {
        return options_.ownRate;
    }
    const int32_t rate = GetLineRate(fd_);
    return rate > 0 ? rate : 9600;
}

LinkDuration SimLine::ByteTime() const {
    return std::chrono::duration_cast<LinkDuration>(std::chrono::seconds(10)) / LineRate();
}

void SimLine::Log(const std::string& text) const {
    if (!options_.log) {
        return;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started_)
                        .count();
    std::fprintf(stderr, "%8lld ms  %s\n", static_cast<long long>(ms), text.c_str());
}

void SimLine::LogFrame(const std::vector<uint8_t>& bytes, bool heard) const {
    if (options_.log) {
        Log(DeviceSideText(bytes, heard));
    }
}

bool SimLine::Serve(const volatile std::sig_atomic_t& stop) {
    uint8_t buffer[4096];
    while (!stop) {
        LinkTime now = std::chrono::steady_clock::now();
        LinkTime next = now + LongestPoll;
        if (!out_.empty()) {
            next = std::min(next, nextOut_);
        }
        if (!answers_.empty()) {
            next = std::min(next, answers_.front().at);
        }
        if (modem_ && modem_->NextDeadline()) {
            next = std::min(next, *modem_->NextDeadline());
        }
        const auto wait = std::max(LinkDuration::zero(), next - now);
        timespec ts{};
        ts.tv_sec =
            static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(wait).count());
        ts.tv_nsec = static_cast<long>((wait - std::chrono::seconds(ts.tv_sec)).count());
        pollfd pfd{fd_, POLLIN, 0};
        const int r = ppoll(&pfd, 1, &ts, nullptr);
        if (r > 0 && (pfd.revents & POLLIN)) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                OnBytes(buffer, static_cast<size_t>(n), std::chrono::steady_clock::now());
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                std::fprintf(stderr, "zantir-sim: the line is gone\n");
                return false;
            }
        } else if (r > 0) {
            // A pty whose other side is closed between two users: nothing to read yet.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        now = std::chrono::steady_clock::now();
        if (modem_) {
            modem_->Tick(now);
            for (const std::string& event : modem_->TakeEvents()) {
                Log(event);
            }
            Send(modem_->TakeOutput(), now);
        }
        ReleaseAnswers(now);
        if (!Flush(now)) {
            std::fprintf(stderr, "zantir-sim: cannot write to the line\n");
            return false;
        }
    }
    return true;
}

void SimLine::OnBytes(const uint8_t* data, size_t count, LinkTime now) {
    if (!modem_) {
        for (size_t i = 0; i < count; ++i) {
            OnRequestByte(data[i], now);
        }
        return;
    }
    for (uint8_t byte : modem_->FromComputer(data, count, now)) {
        OnRequestByte(byte, now);
    }
    for (const std::string& event : modem_->TakeEvents()) {
        Log(event);
    }
    Send(modem_->TakeOutput(), now);
}

void SimLine::OnRequestByte(uint8_t byte, LinkTime now) {
    if (burstBytes_ > 0 && now - lastByte_ > RequestGap + 3 * ByteTime()) {
        frame_.clear();  // a request cut off: the device starts listening anew
        burstBytes_ = 0;
    }
    lastByte_ = now;
    if (burstBytes_++ == 0) {
        burstStart_ = now;
    }
    if (frame_.empty()) {
        if (byte == RequestStart) {
            frame_.push_back(byte);
        }
        return;
    }
    frame_.push_back(byte);
    if (frame_.size() == 3 && byte < FrameOverhead) {
        frame_.clear();
        return;
    }
    if (frame_.size() >= 3 && frame_.size() == frame_[2]) {
        OnFrame(now);
    }
}

void SimLine::OnFrame(LinkTime now) {
    LogFrame(frame_, true);
    // The device hears the request's last bit only after its whole time on the wire.
    const LinkTime heard =
        std::max(now, burstStart_ + ByteTime() * static_cast<int64_t>(burstBytes_));
    SimAnswer answer = device_.Handle(frame_);
    frame_.clear();
    burstBytes_ = 0;
    if (answer.stored && !options_.statePath.empty() && !device_.SaveState(options_.statePath)) {
        std::fprintf(stderr, "zantir-sim: cannot save the tables to %s\n",
                     options_.statePath.c_str());
    }
    if (answer.bytes.empty()) {
        Log("   (no answer)");
        return;
    }
    answers_.push_back(
        {heard + options_.latency, std::move(answer.bytes), answer.tableThreeWritten});
}

void SimLine::ReleaseAnswers(LinkTime now) {
    while (!answers_.empty() && answers_.front().at <= now) {
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        const int32_t rate = LineRate();
        if (modem_ && !modem_->Online()) {
            Log("   (answer lost: no call)");
        } else if (options_.answerRate > 0 && rate != options_.answerRate) {
            Log("   (line at " + std::to_string(rate) + " bit/s, device at " +
                std::to_string(options_.answerRate) + ": no answer)");
        } else {
            LogFrame(answer.bytes, false);
            Send(answer.bytes, now);
        }
        if (answer.tableThreeWritten) {
            FollowTableThree();
        }
    }
}

// The device moves its upper-level line to the rate just written, once its answer is out.
void SimLine::FollowTableThree() {
    const int32_t rate = BaudRateOf(device_.tables.Link[0]);
    if (rate <= 0) {
        return;
    }
    // Behind a modem the computer's line is the modem's and keeps its rate.
    if (modem_) {
        Log("   (upper-level line behind the modem now " + std::to_string(rate) + " bit/s)");
        return;
    }
    if (options_.answerRate > 0) {
        options_.answerRate = rate;
    }
    if (options_.ownsRate) {
        pendingOwnRate_ = rate;
    }
    Log("   (upper-level line now " + std::to_string(rate) + " bit/s)");
}

void SimLine::Send(const std::vector<uint8_t>& bytes, LinkTime now) {
    if (bytes.empty()) {
        return;
    }
    if (out_.empty() && nextOut_ < now) {
        nextOut_ = now + ByteTime();  // a byte is there once its stop bit is
    }
    out_.insert(out_.end(), bytes.begin(), bytes.end());
}

bool SimLine::Flush(LinkTime now) {
    std::vector<uint8_t> due;
    const LinkDuration byteTime = ByteTime();
    while (!out_.empty() && nextOut_ <= now) {
        due.push_back(out_.front());
        out_.pop_front();
        nextOut_ += byteTime;
    }
    size_t done = 0;
    while (done < due.size()) {
        const ssize_t n = write(fd_, due.data() + done, due.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    if (out_.empty() && pendingOwnRate_ > 0) {
        tcdrain(fd_);  // the answer leaves at the old rate
        if (SetLineRate(fd_, pendingOwnRate_)) {
            options_.ownRate = pendingOwnRate_;
        }
        pendingOwnRate_ = 0;
    }
    return true;
}
