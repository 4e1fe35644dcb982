// zantir-bench: what an exchange costs (a pty peer answers an identification read 200 ms
// after it arrives, 50 exchanges at 9600 bit/s), and what a whole configuration read
// from zantir-sim costs against the time its bytes and pauses need.
#include <time.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "link/Conffun.h"
#include "link/Plcbox.h"
#include "tests/support/Fakes.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/SimProcess.h"

namespace {

using Seconds = std::chrono::duration<double>;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Stats {
    double median, worst, mean;
};

Stats Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) {
        sum += v;
    }
    return {values[values.size() / 2], values.back(), sum / static_cast<double>(values.size())};
}

// A line to a pty peer that answers every request with the identification after delay;
// null, after saying why, when there is none.
ComPortHandle IdentPeerLine(PtyPeer& peer, std::chrono::milliseconds delay, int32_t rate) {
    if (!peer.ok()) {
        std::fprintf(stderr, "zantir-bench: no pty\n");
        return nullptr;
    }
    peer.Serve([delay](const std::vector<uint8_t>&) {
        return std::vector<PtyPeer::Step>{{delay, IdentResponse()}};
    });
    LineSettings settings;
    settings.BaudRate = rate;
    ComPortHandle line = OpenComPortAt(peer.SlavePath(), settings);
    if (!line) {
        std::fprintf(stderr, "zantir-bench: cannot open %s\n", peer.SlavePath().c_str());
    }
    return line;
}

// One identification read after another against a peer that answers in 200 ms.
bool ExchangeCost() {
    constexpr int Exchanges = 50;
    constexpr int32_t Rate = 9600;
    PtyPeer peer;
    ComPortHandle line = IdentPeerLine(peer, std::chrono::milliseconds(200), Rate);
    if (!line) {
        return false;
    }
    TappedPort port(*line);
    LinkEngine engine(0);
    engine.Port = &port;
    engine.BaudRate = Rate;

    std::vector<double> wall, cpu, returnDelay, rtsError;
    const std::vector<uint8_t> header = {0, 0, 17, 0, 0, 0};
    for (int i = 0; i < Exchanges; ++i) {
        const double cpuStart = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = engine.ExecuteCommand(TableExchange, header.data(), header.size());
        const auto end = std::chrono::steady_clock::now();
        const double cpuEnd = ProcessCpuSeconds();
        if (!ok) {
            std::fprintf(stderr, "zantir-bench: exchange %d failed: %s\n", i + 1,
                         engine.CommandSummary().c_str());
            return false;
        }
        const auto transmit = std::chrono::nanoseconds(
            static_cast<int64_t>((port.lastWrite + 1) * 10 * 1000000000ULL / Rate));
        wall.push_back(Seconds(end - start).count() * 1e3);
        cpu.push_back((cpuEnd - cpuStart) * 1e3);
        returnDelay.push_back(Seconds(end - peer.LastAnswerSent()).count() * 1e3);
        rtsError.push_back(Seconds(port.rtsDropped - (port.writeStarted + transmit)).count() * 1e3);
    }

    const Stats w = Summarise(wall), c = Summarise(cpu), d = Summarise(returnDelay),
                r = Summarise(rtsError);
    std::printf(
        "zantir-bench: %d identification reads at %d bit/s, device answers after 200 ms\n\n",
        Exchanges, Rate);
    std::printf("%-44s %10s %10s %10s\n", "per exchange, ms", "median", "worst", "mean");
    std::printf("%-44s %10.3f %10.3f %10.3f\n", "wall time", w.median, w.worst, w.mean);
    std::printf("%-44s %10.3f %10.3f %10.3f\n", "CPU time of the process", c.median, c.worst,
                c.mean);
    std::printf("%-44s %10.3f %10.3f %10.3f\n", "last response byte -> ExecuteCommand returns",
                d.median, d.worst, d.mean);
    std::printf("%-44s %10.3f %10.3f %10.3f\n", "RTS drop - computed deadline", r.median, r.worst,
                r.mean);

    const double cpuShare = 100.0 * c.mean / w.mean;
    const bool cpuOk = cpuShare <= 5.0, delayOk = d.median <= 1.0, rtsOk = r.median <= 0.5;
    std::printf("\ntargets\n");
    std::printf("  CPU time / wall time   %6.2f %%  (at most 5 %%)     %s\n", cpuShare,
                cpuOk ? "met" : "MISSED");
    std::printf("  return delay median    %6.3f ms (at most 1 ms)     %s\n", d.median,
                delayOk ? "met" : "MISSED");
    std::printf("  RTS-drop error median  %6.3f ms (at most 0.5 ms)   %s\n", r.median,
                rtsOk ? "met" : "MISSED");
    return cpuOk && delayOk && rtsOk;
}

// Screen of a run without a window: nothing to show, nobody to answer.
class NoScreen final : public Screen {
public:
    void SetPanelText(int, const std::string&) override {}
    void ProcessMessages() override {}
    void SetProgressMaximum(int) override {}
    void StepProgress() override {}
    void FillProgress() override {}
    bool ShowMessage(int, const std::string&, const std::string&) override { return false; }
    bool EscapePressed() override { return false; }
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// A CPU-bound process on every core but one, for the life of the object.
class CpuLoad {
public:
    explicit CpuLoad(bool on) {
        const long cores = on ? sysconf(_SC_NPROCESSORS_ONLN) : 1;
        for (long i = 1; i < cores; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile uint64_t spins = 0;
                for (;;) {
                    spins = spins + 1;
                }
            }
            if (pid > 0) {
                children_.push_back(pid);
            }
        }
    }
    ~CpuLoad() {
        for (const pid_t pid : children_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

private:
    std::vector<pid_t> children_;
};

// How late RTS drops after the last stop bit: many short exchanges against a peer that
// answers at once.
bool RtsDropError(bool loaded) {
    constexpr int Exchanges = 300;
    constexpr int32_t Rate = 9600;
    PtyPeer peer;
    ComPortHandle line = IdentPeerLine(peer, std::chrono::milliseconds(1), Rate);
    if (!line) {
        return false;
    }
    TappedPort port(*line);
    LinkEngine engine(0);
    engine.Port = &port;
    engine.BaudRate = Rate;
    const CpuLoad load(loaded);
    std::vector<double> errors;
    const std::vector<uint8_t> header = {0, 0, 17, 0, 0, 0};
    for (int i = 0; i < Exchanges; ++i) {
        if (!engine.ExecuteCommand(TableExchange, header.data(), header.size())) {
            std::fprintf(stderr, "zantir-bench: exchange failed: %s\n",
                         engine.CommandSummary().c_str());
            return false;
        }
        const auto transmit = std::chrono::nanoseconds(
            static_cast<int64_t>((port.lastWrite + 1) * 10 * 1000000000ULL / Rate));
        errors.push_back(Seconds(port.rtsDropped - (port.writeStarted + transmit)).count() * 1e3);
    }
    const double p99 = Percentile(errors, 0.99);
    const bool ok = !loaded || p99 <= 0.3;
    std::printf("  %-34s %8.3f %8.3f %8.3f   %s\n",
                loaded ? "RTS drop error, other cores busy" : "RTS drop error, quiet",
                Percentile(errors, 0.5), p99, *std::max_element(errors.begin(), errors.end()),
                loaded ? (ok ? "p99 <= 0.3 met" : "p99 <= 0.3 MISSED") : "");
    return ok;
}

// Ten whole configuration reads from zantir-sim at rate, against what the line, the
// prescribed pauses and the simulator's latency need. The byte time RTS is held after
// each request overlaps the device's latency, so each request counts the longer one.
bool WholeReads(int32_t rate) {
    constexpr int Reads = 10;
    constexpr int Latency = 5;
    constexpr int Requests = 6;
    char pattern[] = "/tmp/zantir-bench-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    SimProcess sim(directory, {"--latency", std::to_string(Latency)});
    LineSettings settings;
    settings.BaudRate = rate;
    ComPortHandle line = sim.ok() ? OpenComPortAt(sim.LinkPath(), settings) : nullptr;
    if (!line) {
        std::fprintf(stderr, "zantir-bench: zantir-sim did not come up\n");
        return false;
    }
    std::vector<double> ratios;
    double limit = 0;
    for (int i = 0; i < Reads; ++i) {
        TappedPort port(*line);
        LinkEngine engine(0);
        engine.Port = &port;
        engine.BaudRate = rate;
        ConfigImage image;
        ConnectionSettings connection;
        NoScreen screen;
        TableAccess access{engine, image, connection, screen};
        const auto start = std::chrono::steady_clock::now();
        const bool ok = ReadAllTables(access);
        const double wall = Seconds(std::chrono::steady_clock::now() - start).count() * 1e3;
        if (!ok) {
            std::fprintf(stderr, "zantir-bench: a whole read failed at %d bit/s\n", rate);
            return false;
        }
        const double byteMs = 10.0 * 1e3 / rate;
        const double wire = static_cast<double>(port.sent.size() + port.received) * byteMs;
        limit = wire + Requests * (engine.RtsPause + std::max<double>(byteMs, Latency)) + 500.0;
        ratios.push_back(wall / limit);
    }
    line.reset();
    sim.Stop();
    std::filesystem::remove_all(directory);
    const double worst = *std::max_element(ratios.begin(), ratios.end());
    const bool ok = worst <= 1.02;
    std::printf("  %-34s %8.3f %8.3f %8.3f   limit %.1f ms, worst <= 1.02 %s\n",
                ("whole read at " + std::to_string(rate) + " / limit").c_str(),
                *std::min_element(ratios.begin(), ratios.end()), Percentile(ratios, 0.5), worst,
                limit, ok ? "met" : "MISSED");
    return ok;
}

}  // namespace

int main() {
    const bool exchange = ExchangeCost();
    std::printf("\nzantir-bench: timing of the line\n\n  %-34s %8s %8s %8s\n", "", "min/p50",
                "median/p99", "worst");
    bool timing = RtsDropError(false);
    timing = RtsDropError(true) && timing;
    for (const int32_t rate : {9600, 115200}) {
        timing = WholeReads(rate) && timing;
    }
    return exchange && timing ? 0 : 2;
}
