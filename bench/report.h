#pragma once

// The table each bench ends with: one row per measure, its target, what was
// measured and whether that meets the target.

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

class Report {
public:
    void add(std::string measure, std::string target, std::string measured, bool met)
    {
        rows_.push_back({std::move(measure), std::move(target), std::move(measured), met ? "yes" : "NO"});
        std::fprintf(stderr, "  %s: %s (target %s)\n", rows_.back()[0].c_str(), rows_.back()[2].c_str(),
            rows_.back()[1].c_str());
    }

    void print() const
    {
        std::printf("\n| measure | target | measured | met |\n|---|---|---|---|\n");
        for (const auto& row : rows_)
            std::printf("| %s | %s | %s | %s |\n", row[0].c_str(), row[1].c_str(), row[2].c_str(), row[3].c_str());
    }

private:
    std::vector<std::vector<std::string>> rows_;
};

// printf into a std::string.
__attribute__((format(printf, 1, 2))) inline std::string format(const char* pattern, ...)
{
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// The machine's load averages, to say how busy it was while a bench ran.
inline std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    file >> one >> five >> fifteen;
    return format("load average %.2f %.2f %.2f", one, five, fifteen);
}

} // namespace bench
