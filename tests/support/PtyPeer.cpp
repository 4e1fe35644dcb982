#include "tests/support/PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return;
    }
    slavePath_ = ptsname(master_);
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (slave_ >= 0 && tcgetattr(slave_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
    }
}

PtyPeer::~PtyPeer() {
    Vanish();
    if (slave_ >= 0) {
        close(slave_);
    }
}

void PtyPeer::Serve(Responder responder) {
    responder_ = std::move(responder);
    thread_ = std::thread([this] { Run(); });
}

void PtyPeer::Vanish() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

std::vector<std::vector<uint8_t>> PtyPeer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool PtyPeer::ReadByte(uint8_t& byte) {
    while (!stop_) {
        pollfd pfd{master_, POLLIN, 0};
        const int r = poll(&pfd, 1, 20);
        if (r > 0 && (pfd.revents & POLLIN) && read(master_, &byte, 1) == 1) {
            return true;
        }
        if (r > 0 && !(pfd.revents & POLLIN)) {
            usleep(1000);  // no slave open at the moment
        }
    }
    return false;
}

bool PtyPeer::ReadRequest(std::vector<uint8_t>& request) {
    uint8_t byte = 0;
    do {
        if (!ReadByte(byte)) {
            return false;
        }
    } while (byte != 0xCC);
    request.assign(1, byte);
    while (request.size() < 3 || request.size() < request[2]) {
        if (!ReadByte(byte)) {
            return false;
        }
        request.push_back(byte);
        if (request.size() == 3 && byte < 6) {
            return true;  // not a frame; hand it over as it is
        }
    }
    return true;
}

void PtyPeer::Run() {
    std::vector<uint8_t> request;
    while (ReadRequest(request)) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        for (const Step& step : responder_(request)) {
            const auto until = std::chrono::steady_clock::now() + step.pause;
            while (!stop_ && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_until(std::min(
                    until, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
            }
            size_t done = 0;
            while (!stop_ && done < step.bytes.size()) {
                const ssize_t n =
                    write(master_, step.bytes.data() + done, step.bytes.size() - done);
                if (n > 0) {
                    done += static_cast<size_t>(n);
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    break;
                }
            }
            lastSent_ = std::chrono::steady_clock::now().time_since_epoch().count();
        }
    }
}
