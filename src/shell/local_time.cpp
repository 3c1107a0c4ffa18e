#include "shell/local_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace korvanteslin {

LocalDateTime localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

double oleDate(int year, int month, int day)
{
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / static_cast<unsigned>(month) / static_cast<unsigned>(day)};
    const sys_days epoch{std::chrono::year{1899} / December / 30};
    return static_cast<double>((date - epoch).count());
}

std::string timeOfDayText(const LocalDateTime& t)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
    return text;
}

} // namespace korvanteslin
