// A site's scales at once: many headless emulators side by side, each with
// its own data folder, virtual port and control API, against the best the
// system can do in the same run.
//
//   scales_bench PROGRAM [--quick] [--scales N] [--seconds S] [--verbose] [--serial]
//
// One reader thread timestamps every frame on every virtual port (epoll) and
// on the line of a reference writer that sends at absolute deadlines
// (clock_nanosleep) with the same period. CPU and memory come from /proc.
// Each scale's serial port leads nowhere, as in the many-scales example, and
// is retried once a second; with --serial it is a pseudo-terminal of its own.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_args.h"
#include "line_probe.h"
#include "measured_run.h"
#include "port_watch.h"
#include "pty_pair.h"
#include "report.h"
#include "stats.h"

using namespace bench;
using korvanteslin::test::PtyPair;

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr int kPeriodMs = 150;
constexpr std::int64_t kPeriod = kPeriodMs * 1'000'000LL;
constexpr int kFrameLength[] = {12, 8, 10}; // ZMR-1, ZMR-3, ZMR-5

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

struct PerScale {
    double rate = 0;
    double jitterP99 = 0;
    std::size_t frames = 0;
    std::size_t broken = 0;
    long rssKiB = 0;
    long pssKiB = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const BenchArgs args(argc, argv, "[--quick] [--scales N] [--seconds S] [--verbose] [--serial]",
        {"--quick", "--verbose", "--serial"}, {"--scales", "--seconds"});
    const std::string& program = args.program;
    const int scales = int(args.number("--scales", 50));
    const double seconds = args.number("--seconds", args.flag("--quick") ? 15 : 60);
    const bool verbose = args.flag("--verbose");
    const bool serial = args.flag("--serial");

    Report report;
    std::fprintf(stderr, "starting %d headless scales at %d ms (%s)\n", scales, kPeriodMs, loadAverage().c_str());
    PortWatch watch;
    std::vector<std::unique_ptr<MeasuredRun>> runs;
    std::vector<std::size_t> lines;
    std::vector<std::unique_ptr<PtyPair>> serialLines;
    const std::int64_t startFrom = monotonicNs();
    for (int i = 0; i < scales; ++i) {
        RunOptions options;
        options.periodMs = kPeriodMs;
        options.model = i % 3;
        if (serial) {
            // A serial line for each scale too, drained by the same reader.
            serialLines.push_back(std::make_unique<PtyPair>());
            watch.watch(serialLines.back()->master());
            options.device = serialLines.back()->slavePath().toStdString();
        }
        runs.push_back(std::make_unique<MeasuredRun>(program, options));
        if (!runs.back()->waitReady(60 * kSecond)) {
            std::fprintf(stderr, "scale %d did not start: %s\n", i, runs.back()->errors().c_str());
            return 1;
        }
        lines.push_back(watch.open(runs.back()->virtualPath()));
    }
    const double startSeconds = double(monotonicNs() - startFrom) / 1e9;
    PtyPair referenceLine;
    const std::size_t referenceIndex = watch.watch(referenceLine.master());
    ReferenceWriter reference(referenceLine.slavePath().toStdString(), std::string("\x02 0000.0Ckg\r"), kPeriod);
    sleepSeconds(3);

    std::fprintf(stderr, "measuring %.0f s (%s)\n", seconds, loadAverage().c_str());
    std::vector<std::int64_t> cpuFrom;
    for (const auto& run : runs)
        cpuFrom.push_back(run->cpuNs());
    const std::int64_t from = monotonicNs();
    sleepSeconds(seconds / 2);
    std::vector<PerScale> figures(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        figures[i].rssKiB = runs[i]->memoryKiB();
        figures[i].pssKiB = runs[i]->memoryKiB(true);
    }
    sleepSeconds(seconds / 2);
    const std::int64_t to = monotonicNs();
    std::int64_t cpu = 0;
    for (std::size_t i = 0; i < runs.size(); ++i)
        cpu += runs[i]->cpuNs() - cpuFrom[i];
    const std::string loadAfter = loadAverage();

    const auto referenceArrivals = between(arrivalsOf(framesOf(watch.chunks(referenceIndex))), from, to);
    const double referenceP99 = percentile(jitterMs(referenceArrivals, kPeriod), 0.99);
    if (verbose) {
        std::string late;
        for (std::size_t k = 1; k < referenceArrivals.size(); ++k)
            if (std::llabs(referenceArrivals[k] - referenceArrivals[k - 1] - kPeriod) > 3'000'000)
                late += format(" %.1f:%+.1f", double(referenceArrivals[k] - from) / 1e9,
                    double(referenceArrivals[k] - referenceArrivals[k - 1] - kPeriod) / 1e6);
        std::fprintf(stderr, "reference: p99 %.3f ms; off by more than 3 ms at%s\n", referenceP99, late.c_str());
    }
    double worstRate = INFINITY, worstJitter = 0;
    std::size_t broken = 0, frames = 0;
    std::vector<double> jitters, rss, pss;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        PerScale& scale = figures[i];
        // At 150 ms every frame is one read: 12 bytes for ZMR-1, 8 (no terminator) for ZMR-3, 10 for ZMR-5.
        const std::size_t length = std::size_t(kFrameLength[i % 3]);
        std::vector<std::int64_t> arrivals;
        for (const auto& chunk : watch.chunks(lines[i])) {
            if (chunk.t < from || chunk.t >= to)
                continue;
            arrivals.push_back(chunk.t);
            scale.broken += chunk.bytes.size() != length || (i % 3 != 1 && chunk.bytes.back() != '\r');
        }
        scale.frames = arrivals.size();
        if (verbose) {
            // Where the late frames were, seconds into the window: one moment for
            // all scales means the machine, scattered moments the scale.
            std::string late;
            for (std::size_t k = 1; k < arrivals.size(); ++k)
                if (std::llabs(arrivals[k] - arrivals[k - 1] - kPeriod) > 3'000'000)
                    late += format(" %.1f:%+.1f", double(arrivals[k] - from) / 1e9,
                        double(arrivals[k] - arrivals[k - 1] - kPeriod) / 1e6);
            std::fprintf(stderr, "scale %2zu: p99 %.3f ms; intervals off by more than 3 ms at s:ms%s\n", i,
                percentile(jitterMs(arrivals, kPeriod), 0.99), late.c_str());
        }
        scale.rate = rateRatio(arrivals, from, to, kPeriod);
        scale.jitterP99 = percentile(jitterMs(arrivals, kPeriod), 0.99);
        worstRate = std::min(worstRate, scale.rate);
        worstJitter = std::max(worstJitter, scale.jitterP99);
        jitters.push_back(scale.jitterP99);
        broken += scale.broken;
        frames += scale.frames;
        rss.push_back(double(scale.rssKiB) / 1024.0);
        pss.push_back(double(scale.pssKiB) / 1024.0);
    }
    const double cpuPercent = double(cpu) / double(to - from) * 100.0;

    report.add(format("%d scales at 150 ms, %.0f s: rate of each", scales, seconds), ">= 0.999",
        format("lowest %.5f (%zu frames, %zu broken)", worstRate, frames, broken), worstRate >= 0.999 && broken == 0);
    report.add("p99 period jitter of each, against a clock_nanosleep reference in the same run", "<= 2x reference",
        format("worst %.3f ms, median %.3f ms, 90th %.3f ms; reference %.3f ms; ratio worst %.2f, median %.2f",
            worstJitter, percentile(jitters, 0.5), percentile(jitters, 0.9), referenceP99, worstJitter / referenceP99,
            percentile(jitters, 0.5) / referenceP99),
        worstJitter <= 2 * referenceP99);
    report.add("total CPU of all scales", "<= 25 % of a core",
        format("%.2f %% (%.3f %% each)", cpuPercent, cpuPercent / scales), cpuPercent <= 25.0);
    report.add("resident memory per scale", "reported",
        format("RSS median %.1f MiB (max %.1f); proportional share median %.1f MiB (max %.1f)", percentile(rss, 0.5),
            percentile(rss, 1.0), percentile(pss, 0.5), percentile(pss, 1.0)),
        true);
    report.print();
    std::printf("(started %d scales in %.1f s; %s after the run)\n", scales, startSeconds, loadAfter.c_str());
    return 0;
}
