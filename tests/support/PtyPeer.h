#pragma once
// The far end of a real pty: a thread on the master side that reads request frames
// as the device would and answers with scripted bytes and pauses.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/Linkclock.h"

class PtyPeer {
public:
    struct Step {
        std::chrono::microseconds pause;  // before these bytes go out
        std::vector<uint8_t> bytes;
    };
    using Responder = std::function<std::vector<Step>(const std::vector<uint8_t>& request)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Answers every complete request frame (preambles skipped) with the responder's steps.
    void Serve(Responder responder);
    // Ends serving and closes the master: the line vanishes for whoever holds the slave.
    void Vanish();

    std::vector<std::vector<uint8_t>> Requests();
    // When the last byte of the last answer was handed to the line.
    LinkTime LastAnswerSent() const { return LinkTime(LinkDuration(lastSent_.load())); }

private:
    void Run();
    bool ReadByte(uint8_t& byte);
    bool ReadRequest(std::vector<uint8_t>& request);

    int master_ = -1;
    int slave_ = -1;  // kept open so that the master never sees a hang-up between users
    std::string slavePath_;
    Responder responder_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<LinkDuration::rep> lastSent_{0};
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> requests_;
};
