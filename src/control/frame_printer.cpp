#include "control/frame_printer.h"

#include "emulation/frame_builder.h"

#include <algorithm>
#include <cstdio>

namespace korvanteslin {

std::string frameLine(std::int64_t msSinceStart, const std::string& frame)
{
    const std::int64_t ms = std::max<std::int64_t>(msSinceStart, 0);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%03lld", static_cast<long long>(ms / 1000),
        static_cast<long long>(ms % 1000));
    return seconds + hexEcho(frame);
}

void printFrame(std::ostream& out, std::int64_t msSinceStart, const std::string& frame)
{
    out << frameLine(msSinceStart, frame) << '\n' << std::flush;
}

} // namespace korvanteslin
