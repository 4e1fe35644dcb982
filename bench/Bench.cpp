// zantir-bench: what an exchange costs (a pty peer answers an identification read 200 ms
// after it arrives, 50 exchanges at 9600 bit/s), and what a whole configuration read
// from zantir-sim costs against the time its bytes and pauses need.
#include <time.h>

#include <unistd.h>

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

// One identification read after another against a peer that answers in 200 ms.
bool ExchangeCost() {
    constexpr int Exchanges = 50;
    constexpr int32_t Rate = 9600;
    PtyPeer peer;
    if (!peer.ok()) {
        std::fprintf(stderr, "zantir-bench: no pty\n");
        return false;
    }
    peer.Serve([](const std::vector<uint8_t>&) {
        return std::vector<PtyPeer::Step>{{std::chrono::milliseconds(200), IdentResponse()}};
    });
    LineSettings settings;
    settings.BaudRate = Rate;
    ComPortHandle line = OpenComPortAt(peer.SlavePath(), settings);
    if (!line) {
        std::fprintf(stderr, "zantir-bench: cannot open %s\n", peer.SlavePath().c_str());
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

// The whole configuration read from zantir-sim, against what the line and the
// prescribed pauses alone take.
bool WholeReadCost() {
    constexpr int32_t Rate = 9600;
    constexpr int Latency = 5;
    constexpr int Requests = 6;
    char pattern[] = "/tmp/zantir-bench-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    SimProcess sim(directory, {"--latency", std::to_string(Latency)});
    LineSettings settings;
    settings.BaudRate = Rate;
    ComPortHandle line = sim.ok() ? OpenComPortAt(sim.LinkPath(), settings) : nullptr;
    if (!line) {
        std::fprintf(stderr, "zantir-bench: zantir-sim did not come up\n");
        return false;
    }
    TappedPort port(*line);
    LinkEngine engine(0);
    engine.Port = &port;
    engine.BaudRate = Rate;
    ConfigImage image;
    ConnectionSettings connection;
    NoScreen screen;
    TableAccess access{engine, image, connection, screen};

    const auto start = std::chrono::steady_clock::now();
    const bool ok = ReadAllTables(access);
    const double wall = Seconds(std::chrono::steady_clock::now() - start).count() * 1e3;
    line.reset();
    sim.Stop();
    std::filesystem::remove_all(directory);
    if (!ok) {
        std::fprintf(stderr, "zantir-bench: the whole read failed\n");
        return false;
    }
    const double byteMs = 10.0 * 1e3 / Rate;
    const size_t bytes = port.sent.size() + port.received;
    const double wire = static_cast<double>(bytes) * byteMs;
    const double pauses = Requests * (engine.RtsPause + byteMs) + 500.0;
    const double latency = Requests * Latency;
    const double needed = wire + pauses + latency;
    const double ratio = wall / needed;
    std::printf("\nzantir-bench: whole configuration read from zantir-sim at %d bit/s\n\n", Rate);
    std::printf("  bytes on the line (requests %zu, responses %zu)   %8.1f ms\n", port.sent.size(),
                port.received, wire);
    std::printf("  RTS pauses, extra byte per request, closing 500 ms  %8.1f ms\n", pauses);
    std::printf("  simulator latency (%d x %d ms)                     %8.1f ms\n", Requests,
                Latency, latency);
    std::printf("  what the read must take                             %8.1f ms\n", needed);
    std::printf("  what it took                                        %8.1f ms\n", wall);
    std::printf("\ntargets\n  took / must take         %6.3f    (at most 1.10)    %s\n", ratio,
                ratio <= 1.10 ? "met" : "MISSED");
    return ratio <= 1.10;
}

}  // namespace

int main() {
    const bool exchange = ExchangeCost();
    const bool whole = WholeReadCost();
    return exchange && whole ? 0 : 2;
}
