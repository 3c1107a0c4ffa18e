// What a receiving program sees on the line: pacing at the line's own rate,
// and each injected fault, measured on the real program's virtual port.
//
//   line_bench PROGRAM [--quick]
//
// Requests and replies are timed in this process on CLOCK_MONOTONIC, as is
// every read on the virtual port (one reader thread), so "the next tick" and
// "within 1 ms" are judged from the receiving side only.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_args.h"
#include "line_probe.h"
#include "pty_pair.h"
#include "report.h"
#include "stats.h"
#include "watched_scale.h"

using namespace bench;
using namespace korvanteslin::test;

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kMs = 1'000'000;

void sleepMs(double milliseconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(milliseconds));
}

void sleepUntil(std::int64_t deadline)
{
    const timespec at{time_t(deadline / kSecond), long(deadline % kSecond)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

using Scale = WatchedScale;

// Gaps between single bytes read one after the other inside frames, in ms:
// on a paced line each byte comes a character time after the one before.
std::vector<double> byteGapsMs(const std::vector<Chunk>& chunks, std::int64_t from, std::int64_t to)
{
    std::vector<double> gaps;
    for (std::size_t i = 1; i < chunks.size(); ++i) {
        const Chunk& before = chunks[i - 1];
        const Chunk& chunk = chunks[i];
        if (before.t >= from && chunk.t < to && chunk.bytes.size() == 1 && before.bytes.back() != '\r')
            gaps.push_back(ms(chunk.t - before.t));
    }
    return gaps;
}

double deviationP95(const std::vector<double>& gaps, double expectedMs)
{
    std::vector<double> off;
    for (const double gap : gaps)
        off.push_back(std::fabs(gap - expectedMs));
    return percentile(off, 0.95);
}

// CPU the program used over `seconds` of a saturated paced line, as a share of one core.
double cpuShare(Scale& scale, double seconds)
{
    const std::int64_t cpuFrom = scale.run.cpuNs();
    const std::int64_t from = monotonicNs();
    sleepMs(seconds * 1000);
    return double(scale.run.cpuNs() - cpuFrom) / double(monotonicNs() - from);
}

void lineRate(const std::string& program, bool quick, Report& report)
{
    std::fprintf(stderr, "--line-rate at 9600 8N1, ZMR-1, period 1 ms (%s)\n", loadAverage().c_str());
    RunOptions options;
    options.periodMs = 1;
    options.model = 0;
    options.extra = {"--line-rate"};
    Scale scale(program, options);
    const QJsonObject state = QJsonDocument::fromJson(scale.http.request(get("/state")).body).object();
    const std::string settings = state.value("port").toObject().value("settings").toString().toStdString();
    if (settings != "9600,n,8,1" || !state.value("line_rate").toBool())
        throw std::runtime_error("not paced at 9600,n,8,1: " + settings);
    constexpr std::int64_t kFrameNs = 12'500'000; // 12 bytes of 10 bits at 9600 baud
    constexpr double kByteMs = 12.5 / 12;
    // What the machine can do meanwhile: the same frame at absolute deadlines 12.5 ms apart, read alike.
    PtyPair referenceLine;
    const std::size_t referenceIndex = scale.watch.watch(referenceLine.master());
    ReferenceWriter reference(referenceLine.slavePath().toStdString(), std::string("\x02 0000.0Ckg\r"), kFrameNs);
    sleepMs(1500);
    const std::int64_t cpuFrom = scale.run.cpuNs();
    const std::int64_t from = monotonicNs();
    sleepMs(quick ? 4000 : 15000);
    const std::int64_t to = monotonicNs();
    const double cpu9600 = double(scale.run.cpuNs() - cpuFrom) / double(to - from);
    const double referenceP99 =
        percentile(jitterMs(between(arrivalsOf(framesOf(scale.watch.chunks(referenceIndex))), from, to), kFrameNs), 0.99);
    const std::vector<Chunk> chunks = scale.watch.chunks(scale.line);
    std::vector<ReceivedFrame> inside;
    for (auto& frame : framesOf(chunks))
        if (frame.last >= from && frame.last < to)
            inside.push_back(std::move(frame));
    const auto arrivals = arrivalsOf(inside);
    std::size_t broken = 0;
    std::vector<double> spans;
    for (const auto& frame : inside) {
        broken += frame.bytes.size() != 12 || frame.bytes.front() != '\x02';
        spans.push_back(ms(frame.last - frame.first));
    }
    const double perSecond = 80.0 * rateRatio(arrivals, from, to, kFrameNs);
    std::vector<double> intervals;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        intervals.push_back(ms(arrivals[i] - arrivals[i - 1]));
    const double p99 = percentile(jitterMs(arrivals, kFrameNs), 0.99);
    report.add("--line-rate 9600 8N1, ZMR-1, 1 ms: frames/s", "80 within 1 %",
        format("%.3f/s over %.0f s (%zu frames)", perSecond, ms(to - from) / 1000, inside.size()),
        std::fabs(perSecond - 80.0) <= 0.8);
    report.add("--line-rate: frames whole", "all", format("%zu of %zu broken", broken, inside.size()), broken == 0);
    report.add("--line-rate: interval 12.5 ms, p99 deviation", "<= 1 ms",
        format("%.3f ms (intervals median %.3f ms, min %.3f, max %.3f; a clock_nanosleep reference meanwhile: %.3f ms)",
            p99, percentile(intervals, 0.5), percentile(intervals, 0.0), percentile(intervals, 1.0), referenceP99),
        p99 <= 1.0);
    const std::vector<double> gaps = byteGapsMs(chunks, from, to);
    const double gapP95 = deviationP95(gaps, kByteMs);
    report.add("--line-rate 9600: first to last byte of a frame", "about 11.5 ms (12.5 on the line)",
        format("median %.3f ms, min %.3f, max %.3f", percentile(spans, 0.5), percentile(spans, 0.0), percentile(spans, 1.0)),
        std::fabs(percentile(spans, 0.5) - 11 * kByteMs) <= 0.5);
    report.add("--line-rate 9600: byte gaps 1.042 ms, p95 deviation", "<= 0.3 ms",
        format("%.3f ms (median gap %.3f ms, n=%zu)", gapP95, percentile(gaps, 0.5), gaps.size()), gapP95 <= 0.3);
    report.add("--line-rate 9600, line saturated: CPU", "reported", format("%.2f %% of a core", 100 * cpu9600), true);

    expectOk(scale.http.request(post("/port", R"({"baud": "115200"})")), "POST /port");
    sleepMs(1000);
    const std::size_t seen = scale.watch.chunkCount(scale.line);
    const std::int64_t fastFrom = monotonicNs();
    const double cpu115200 = cpuShare(scale, quick ? 3 : 10);
    const auto fastChunks = scale.watch.chunks(scale.line);
    const std::vector<double> fastGaps =
        byteGapsMs({fastChunks.begin() + std::ptrdiff_t(seen), fastChunks.end()}, fastFrom, monotonicNs());
    report.add("--line-rate 115200, line saturated: CPU", "reported",
        format("%.2f %% of a core (byte gaps median %.3f ms for 0.087, p95 deviation %.3f ms)", 100 * cpu115200,
            percentile(fastGaps, 0.5), deviationP95(fastGaps, 10.0 / 115.2)),
        true);
}

// Each fault asked for half a period after a frame, so "the next tick" is
// the one a period after that frame, far from the request either way.
class FaultTrials {
public:
    static constexpr int kPeriodMs = 50;
    static constexpr std::int64_t kPeriod = kPeriodMs * kMs;

    FaultTrials(const std::string& program, int repeats)
        : scale(program, options())
        , repeats_(repeats)
    {
        sleepMs(1000);
        const auto frames = framesOf(scale.watch.chunks(scale.line));
        if (frames.size() < 5)
            throw std::runtime_error("no steady frames");
        steady_ = frames.back().bytes;
    }

    void run(Report& report)
    {
        drop(report);
        corrupt(report);
        split(report);
        garbage(report);
        silence(report);
        cancelSilence(report);
    }

private:
    static RunOptions options()
    {
        RunOptions options;
        options.periodMs = kPeriodMs;
        return options;
    }

    struct Trial {
        Response reply;
        Burst before;              // the last tick before the request
        std::vector<Burst> after;  // every tick that began after the request went out
    };

    // Asks for `body` mid-period, waits `settleMs`, and cuts what the line carried into ticks.
    Trial request(const QByteArray& body, double settleMs)
    {
        sleepUntil(scale.nextArrival() + kPeriod / 2);
        Trial trial{scale.http.request(post("/faults", body)), {}, {}};
        expectOk(trial.reply, "POST /faults");
        sleepMs(settleMs);
        return cut(trial);
    }

    Trial cut(Trial trial) const
    {
        for (auto& burst : burstsOf(scale.watch.chunks(scale.line), kPeriod * 2 / 5)) {
            if (burst.first < trial.reply.sent)
                trial.before = burst;
            else
                trial.after.push_back(std::move(burst));
        }
        return trial;
    }

    // How many periods after the last tick before the request a tick began.
    static long ticksAfter(const Trial& trial, const Burst& burst)
    {
        return std::lround(double(burst.first - trial.before.first) / double(kPeriod));
    }

    void drop(Report& report)
    {
        std::fprintf(stderr, "faults: drop (%s)\n", loadAverage().c_str());
        constexpr int kDrop = 2;
        int right = 0;
        for (int i = 0; i < repeats_; ++i) {
            const Trial trial = request(R"({"drop": 2})", 5 * kPeriodMs);
            // The next two ticks missing, the third whole and on time.
            right += !trial.after.empty() && ticksAfter(trial, trial.after[0]) == kDrop + 1
                && trial.after[0].bytes == steady_;
        }
        report.add("fault drop 2: the next 2 ticks missing, then whole frames", "next tick",
            format("%d/%d trials", right, repeats_), right == repeats_);
    }

    void corrupt(Report& report)
    {
        std::fprintf(stderr, "faults: corrupt (%s)\n", loadAverage().c_str());
        int right = 0;
        for (int i = 0; i < repeats_; ++i) {
            const Trial trial = request(R"({"corrupt": 1})", 3 * kPeriodMs);
            if (trial.after.size() < 2 || ticksAfter(trial, trial.after[0]) != 1)
                continue;
            const std::string& bad = trial.after[0].bytes;
            int bits = 0;
            bool firstByte = false;
            for (std::size_t k = 0; k < std::min(bad.size(), steady_.size()); ++k) {
                const int flipped = std::popcount(static_cast<unsigned char>(bad[k] ^ steady_[k]));
                bits += flipped;
                firstByte = firstByte || (k == 0 && flipped);
            }
            right += bad.size() == steady_.size() && bits == 1 && !firstByte && trial.after[1].bytes == steady_;
        }
        report.add("fault corrupt 1: the next tick's frame has exactly one bit flipped, not in its first byte",
            "next tick", format("%d/%d trials", right, repeats_), right == repeats_);
    }

    void split(Report& report)
    {
        std::fprintf(stderr, "faults: split (%s)\n", loadAverage().c_str());
        constexpr int kGapMs = 10;
        int right = 0;
        std::vector<double> gaps;
        for (int i = 0; i < repeats_; ++i) {
            const Trial trial = request(R"({"split": 1, "gap_ms": 10})", 3 * kPeriodMs);
            if (trial.after.size() < 2 || ticksAfter(trial, trial.after[0]) != 1)
                continue;
            const Burst& cut = trial.after[0];
            if (cut.chunks.size() != 2 || cut.bytes != steady_ || cut.chunks[0].bytes != steady_.substr(0, 6))
                continue;
            gaps.push_back(ms(cut.chunks[1].t - cut.chunks[0].t));
            right += trial.after[1].chunks.size() == 1 && trial.after[1].bytes == steady_;
        }
        const double worst = std::max(std::fabs(percentile(gaps, 0.0) - kGapMs), std::fabs(percentile(gaps, 1.0) - kGapMs));
        report.add("fault split 1, gap 10 ms: the next tick's frame in two halves", "next tick",
            format("%d/%d trials; gap %.3f to %.3f ms", right, repeats_, percentile(gaps, 0.0), percentile(gaps, 1.0)),
            right == repeats_ && worst <= 1.0);
    }

    void garbage(Report& report)
    {
        std::fprintf(stderr, "faults: garbage (%s)\n", loadAverage().c_str());
        int right = 0;
        for (int i = 0; i < repeats_; ++i) {
            const Trial trial = request(R"({"garbage": "FF 00 AA"})", 3 * kPeriodMs);
            right += trial.after.size() >= 2 && ticksAfter(trial, trial.after[0]) == 1
                && trial.after[0].bytes == std::string("\xFF\x00\xAA", 3) + steady_ && trial.after[1].bytes == steady_;
        }
        report.add("fault garbage FF 00 AA: just before the next tick's frame", "next tick",
            format("%d/%d trials", right, repeats_), right == repeats_);
    }

    // The request goes out a little before a tick is due, so the start of the
    // silence is seen on that very tick: the tick after the reply must be missing.
    void silence(Report& report)
    {
        std::fprintf(stderr, "faults: silence (%s)\n", loadAverage().c_str());
        constexpr int kSilenceMs = 200;
        constexpr double kLeads[] = {3.0, 2.0, 1.5, 1.0, 0.5};
        int spoke = 0, quietTicks = 0;
        double nearest = INFINITY; // the silenced tick closest after a reply, ms
        std::vector<double> endEarly, endLate;
        for (int i = 0; i < repeats_; ++i) {
            const std::int64_t tick = scale.nextArrival() + kPeriod; // when the next frame is due to arrive
            sleepUntil(tick - std::int64_t(kLeads[i % 5] * double(kMs)));
            Trial trial{scale.http.request(post("/faults", R"({"silence_ms": 200})")), {}, {}};
            expectOk(trial.reply, "POST /faults");
            sleepMs(kSilenceMs + 3 * kPeriodMs);
            trial = cut(trial);
            const std::int64_t quietFrom = trial.reply.received + kMs;
            const std::int64_t quietTo = trial.reply.sent + (kSilenceMs - 1) * kMs;
            const Burst* end = nullptr;
            bool dueTickQuiet = true;
            for (const Burst& burst : trial.after) {
                spoke += burst.first > quietFrom && burst.first < quietTo;
                dueTickQuiet = dueTickQuiet && std::llabs(burst.first - tick) > kPeriod / 4;
                if (!end && burst.first >= quietTo)
                    end = &burst;
            }
            if (dueTickQuiet && tick > trial.reply.received) {
                ++quietTicks;
                nearest = std::min(nearest, ms(tick - trial.reply.received));
            }
            if (end) {
                // The silence ends T after the request was taken, which lies between sending and the reply.
                endEarly.push_back(ms(end->first - (trial.reply.sent + kSilenceMs * kMs)));
                endLate.push_back(ms(end->first - (trial.reply.received + kSilenceMs * kMs)));
            }
        }
        report.add("fault silence 200 ms, start: no frame later than 1 ms after the reply", "within 1 ms",
            format("%d frames in %d silences; the tick due after the reply silenced in %d/%d (closest %.3f ms after it)",
                spoke, repeats_, quietTicks, repeats_, nearest),
            spoke == 0);
        const double early = percentile(endEarly, 0.0), late = percentile(endLate, 1.0);
        report.add("fault silence 200 ms, end: the first frame after it", "within 1 ms",
            format("earliest at request+T%+.3f ms, latest at reply+T%+.3f ms (n=%zu)", early, late, endLate.size()),
            endLate.size() == std::size_t(repeats_) && early >= -1.0 && late <= 1.0);
    }

    void cancelSilence(Report& report)
    {
        std::fprintf(stderr, "faults: silence cancelled (%s)\n", loadAverage().c_str());
        std::vector<double> delays;
        for (int i = 0; i < repeats_; ++i) {
            sleepUntil(scale.nextArrival() + kPeriod / 2);
            expectOk(scale.http.request(post("/faults", R"({"silence_ms": 10000})")), "POST /faults");
            sleepMs(100 + 7 * (i % 7));
            const Response reply = scale.http.request(post("/faults", {}, "DELETE"));
            expectOk(reply, "DELETE /faults");
            if (!scale.watch.waitForMore(scale.line, scale.watch.chunkCount(scale.line), kSecond))
                continue;
            for (const Chunk& chunk : scale.watch.chunks(scale.line))
                if (chunk.t >= reply.sent) {
                    delays.push_back(ms(chunk.t - reply.received));
                    break;
                }
            sleepMs(2 * kPeriodMs);
        }
        const double worst = percentile(delays, 1.0);
        report.add("fault silence ended by DELETE /faults: first frame after the reply", "within 1 ms",
            format("%.3f ms at most (median %.3f; n=%zu)", worst, percentile(delays, 0.5), delays.size()),
            delays.size() == std::size_t(repeats_) && worst <= 1.0);
    }

    Scale scale;
    int repeats_;
    std::string steady_;
};

} // namespace

int main(int argc, char** argv)
{
    const BenchArgs args(argc, argv, "[--quick]", {"--quick"}, {});
    const std::string& program = args.program;
    const bool quick = args.flag("--quick");
    Report report;
    try {
        lineRate(program, quick, report);
        FaultTrials(program, quick ? 5 : 20).run(report);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "line_bench: %s\n", error.what());
        report.print();
        return 1;
    }
    report.print();
    std::printf("(%s at the end)\n", loadAverage().c_str());
    return 0;
}
