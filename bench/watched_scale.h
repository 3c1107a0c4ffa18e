#pragma once

// A headless scale as the benches drive it: started, its virtual port
// watched, its control API ready for requests.

#include <stdexcept>
#include <string>
#include <vector>

#include "http_client.h"
#include "measured_run.h"
#include "port_watch.h"

namespace bench {

using korvanteslin::test::Response;

inline void expectOk(const Response& reply, const char* what)
{
    if (reply.status != 200)
        throw std::runtime_error(std::string(what) + ": HTTP " + std::to_string(reply.status) + " " + reply.body.toStdString());
}

inline std::uint16_t controlPortOnceReady(MeasuredRun& run)
{
    if (!run.waitReady(20 * 1'000'000'000LL))
        throw std::runtime_error("the program did not start: " + run.errors());
    return run.controlPort();
}

struct WatchedScale {
    MeasuredRun run;
    PortWatch watch;
    std::size_t line = 0;
    korvanteslin::test::Connection http;

    WatchedScale(const std::string& program, const RunOptions& options)
        : run(program, options)
        , http(controlPortOnceReady(run))
    {
        line = watch.open(run.virtualPath());
    }

    std::vector<ReceivedFrame> frames() const { return framesOf(watch.chunks(line)); }

    // The moment the next read arrives on the virtual port.
    std::int64_t nextArrival()
    {
        const std::size_t seen = watch.chunkCount(line);
        if (!watch.waitForMore(line, seen, 2'000'000'000LL))
            throw std::runtime_error("the line went quiet");
        return watch.chunks(line)[seen].t;
    }
};

} // namespace bench
