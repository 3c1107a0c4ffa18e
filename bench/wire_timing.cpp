// End-to-end timing of the real program against the best the system can do.
//
//   wire_timing PROGRAM [--quick] [--rates-only] [--stall-seconds N] [--extras | --headless]
//               [--period MS --seconds S]
//
// The program runs offscreen with COM2 linked to a pseudo-terminal; a reader
// timestamps every frame that arrives. In the same run a reference writer
// sends the same frame at absolute deadlines (clock_nanosleep) through a
// second pseudo-terminal to an identical reader. Figures are printed as the
// program's measure and, where it means something, as a ratio to the reference.
//
// With --extras the program runs as a test harness runs it: headless, with a
// virtual port (read by a third reader) and the control API, to show what they
// cost the serial line. With --headless it runs without a window, on the
// serial line alone.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_args.h"
#include "line_probe.h"
#include "measured_run.h"
#include "pty_pair.h"
#include "stats.h"

using namespace bench;
using korvanteslin::test::PtyPair;

namespace {

const std::string kFrame = std::string("\x02 0000.0Ckg\r");

// Options added to every run of the program (--extras, --headless).
std::vector<std::string> extras;

bool withVirtualPort()
{
    return std::find(extras.begin(), extras.end(), "--virtual") != extras.end();
}

// The receiving end of the program's virtual port, when it has one.
class VirtualEnd {
public:
    explicit VirtualEnd(const MeasuredRun& run)
    {
        if (!withVirtualPort())
            return;
        fd_ = ::open((run.folder() + "/virtual").c_str(), O_RDONLY | O_NOCTTY);
        if (fd_ < 0)
            return;
        // What the port held before anyone read it is not part of the rate.
        tcflush(fd_, TCIFLUSH);
        reader_ = std::make_unique<FrameReader>(fd_, '\r');
    }
    ~VirtualEnd()
    {
        reader_.reset();
        if (fd_ >= 0)
            ::close(fd_);
    }
    // ", virtual port RATIO" for the table, or nothing without one.
    std::string rate(std::int64_t from, std::int64_t to, std::int64_t period) const
    {
        if (!withVirtualPort())
            return {};
        if (!reader_)
            return "  virtual port: cannot open";
        char text[96];
        std::snprintf(text, sizeof text, "  virtual port %.4f (malformed %zu)",
            rateRatio(reader_->arrivals(), from, to, period), reader_->malformed());
        return text;
    }

private:
    int fd_ = -1;
    std::unique_ptr<FrameReader> reader_;
};

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Where frame k arrived against where a perfect clock started at frame 0 puts it, in ms.
double driftMs(const std::vector<std::int64_t>& arrivals, std::size_t k, std::int64_t periodNs)
{
    return double(arrivals[k] - arrivals[0] - std::int64_t(k) * periodNs) / 1e6;
}

// How long after its deadline each frame arrived, in ms.
std::vector<double> delaysMs(const std::vector<std::int64_t>& arrivals, std::int64_t deadline, std::int64_t periodNs)
{
    std::vector<double> out;
    for (auto a : arrivals)
        out.push_back(double(((a - deadline) % periodNs + periodNs) % periodNs) / 1e6);
    return out;
}

// The program offscreen at `periodMs`, COM2 linked to `line`, with the --extras options.
RunOptions onLine(const PtyPair& line, int periodMs)
{
    RunOptions options;
    options.harness = false;
    options.periodMs = periodMs;
    options.device = line.slavePath().toStdString();
    options.extra = extras;
    return options;
}

struct Pair {
    PtyPair programLine;
    PtyPair referenceLine;
    FrameReader programReader{programLine.master(), '\r'};
    FrameReader referenceReader{referenceLine.master(), '\r'};
};

void rateRun(const std::string& program, int periodMs, double seconds)
{
    const std::int64_t period = std::int64_t(periodMs) * 1'000'000;
    Pair pair;
    MeasuredRun run(program, onLine(pair.programLine, periodMs));
    ReferenceWriter reference(pair.referenceLine.slavePath().toStdString(), kFrame, period);
    sleepSeconds(1.5 + 2.0 * periodMs / 1000.0); // start-up
    const VirtualEnd virtualEnd(run);
    const std::int64_t from = monotonicNs();
    const std::int64_t cpuFrom = run.cpuNs(), referenceCpuFrom = reference.cpuNs();
    sleepSeconds(seconds);
    const std::int64_t to = monotonicNs();
    const double cpu = double(run.cpuNs() - cpuFrom) / double(to - from) * 100.0;
    const double referenceCpu = double(reference.cpuNs() - referenceCpuFrom) / double(to - from) * 100.0;
    const double program_ = rateRatio(pair.programReader.arrivals(), from, to, period);
    const double reference_ = rateRatio(pair.referenceReader.arrivals(), from, to, period);
    std::printf("period %5d ms  frames/s / (1000/period): program %.4f  reference %.4f  "
                "CPU %.2f %% of a core (%.2f times the reference's %.2f %%)  malformed %zu%s\n",
        periodMs, program_, reference_, cpu, referenceCpu > 0 ? cpu / referenceCpu : 0.0, referenceCpu,
        pair.programReader.malformed(),
        virtualEnd.rate(from, to, period).c_str());
}

void steadyRun(const std::string& program, double seconds)
{
    constexpr int kPeriodMs = 150;
    const std::int64_t period = std::int64_t(kPeriodMs) * 1'000'000;
    Pair pair;
    MeasuredRun run(program, onLine(pair.programLine, kPeriodMs));
    ReferenceWriter reference(pair.referenceLine.slavePath().toStdString(), kFrame, period);
    sleepSeconds(2.0);
    const VirtualEnd virtualEnd(run);
    const auto deadline = run.nextTickDeadline(period);
    const std::int64_t from = monotonicNs();
    const std::int64_t cpuFrom = run.cpuNs();
    sleepSeconds(seconds);
    const std::int64_t to = monotonicNs();
    const double cpu = double(run.cpuNs() - cpuFrom) / double(to - from) * 100.0;

    const auto programArrivals = between(pair.programReader.arrivals(), from, to);
    const auto referenceArrivals = between(pair.referenceReader.arrivals(), from, to);
    const std::size_t half = programArrivals.size() / 2;
    const double p99Program = percentile(jitterMs(programArrivals, period), 0.99);
    const double p99Reference = percentile(jitterMs(referenceArrivals, period), 0.99);
    std::printf("period   150 ms over %.0f s: drift %.3f ms at %.0f s, %.3f ms at %.0f s (reference %.3f ms)\n",
        seconds, driftMs(programArrivals, half, period), seconds / 2, driftMs(programArrivals, programArrivals.size() - 1, period),
        seconds, driftMs(referenceArrivals, referenceArrivals.size() - 1, period));
    std::printf("  jitter p99: program %.3f ms  reference %.3f ms  ratio %.2f\n", p99Program, p99Reference,
        p99Program / p99Reference);
    if (deadline) {
        const auto programDelays = delaysMs(programArrivals, *deadline, period);
        const auto referenceDelays = delaysMs(referenceArrivals, reference.firstDeadline(), period);
        std::printf("  deadline-to-wire delay, median: program %.3f ms  reference %.3f ms  "
                    "(tick-to-wire, the program's own share: %.3f ms)\n",
            percentile(programDelays, 0.5), percentile(referenceDelays, 0.5),
            percentile(programDelays, 0.5) - percentile(referenceDelays, 0.5));
    }
    std::printf("  CPU %.2f %% of a core%s\n", cpu, virtualEnd.rate(from, to, period).c_str());
}

void stallRun(const std::string& program, double stallSeconds)
{
    Pair pair;
    MeasuredRun run(program, onLine(pair.programLine, 1));
    sleepSeconds(2.0);
    const long before = run.memoryKiB();
    pair.programReader.setPaused(true);
    sleepSeconds(stallSeconds);
    const long during = run.memoryKiB();
    const std::size_t readBefore = pair.programReader.bytesRead();
    pair.programReader.resumeAndMeasureBurst(100'000'000);
    sleepSeconds(1.0);
    std::printf("receiver stalled %.0f s at 1 ms: memory %+ld KiB (%ld -> %ld), "
                "burst on resume %zu bytes (what the line itself held), frames afterwards whole: %s\n",
        stallSeconds, during - before, before, during, pair.programReader.burstAfterResume(),
        pair.programReader.malformed() <= 1 ? "yes" : "no");
    (void)readBefore;
}

void farEndRun(const std::string& program)
{
    PtyPair line;
    auto reader = std::make_unique<FrameReader>(line.master(), '\r');
    MeasuredRun run(program, onLine(line, 150));
    sleepSeconds(2.0);
    reader.reset();
    line.closeMaster();
    sleepSeconds(1.0);
    const std::int64_t from = monotonicNs();
    const std::int64_t cpuFrom = run.cpuNs();
    sleepSeconds(5.0);
    const double cpu = double(run.cpuNs() - cpuFrom) / double(monotonicNs() - from) * 100.0;
    std::printf("far end closed at 150 ms: CPU afterwards %.2f %% of a core\n", cpu);
}

} // namespace

int main(int argc, char** argv)
{
    const BenchArgs args(argc, argv,
        "[--quick] [--rates-only] [--stall-seconds N] [--extras | --headless] [--period MS --seconds S]",
        {"--quick", "--rates-only", "--extras", "--headless"}, {"--stall-seconds", "--period", "--seconds"});
    const std::string& program = args.program;
    const bool quick = args.flag("--quick");
    const bool ratesOnly = args.flag("--rates-only");
    const double stall = args.number("--stall-seconds", 100.0); // 100,000 ticks at 1 ms
    if (args.flag("--extras"))
        extras = {"--headless", "--virtual", "{folder}/virtual", "--control", "127.0.0.1:0"};
    else if (args.flag("--headless"))
        extras = {"--headless"};
    const double scale = quick ? 0.2 : 1.0;
    // One period, held for as long as asked: to compare two builds' CPU.
    if (const int period = int(args.number("--period", 0)); period > 0) {
        rateRun(program, period, args.number("--seconds", 30.0));
        return 0;
    }
    for (int period : {1, 2, 10, 150, 1000})
        rateRun(program, period, std::max(10.0, 20.0 * period / 1000.0) * scale);
    if (ratesOnly)
        return 0;
    steadyRun(program, 60.0 * scale);
    stallRun(program, stall * scale);
    farEndRun(program);
    return 0;
}
