#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace korvanteslin {

// "12.345 02 20 30 …": seconds since the start with milliseconds, then each
// byte as a blank and two upper-case hex digits, as the window's hex echo shows them.
std::string frameLine(std::int64_t msSinceStart, const std::string& frame);

// Writes the frame's line and flushes it, so that a reader at the other end
// of a pipe sees each frame as it is written.
void printFrame(std::ostream& out, std::int64_t msSinceStart, const std::string& frame);

} // namespace korvanteslin
