#pragma once

#include <string>

namespace korvanteslin {

// A moment of the local calendar, as the program's clock-dependent steps see
// it. Handed in rather than read inside, so every date rule can be tested.
struct LocalDateTime {
    int year = 2000;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalDateTime localNow();

// Whole days since 30 December 1899, the day count of the settings file's date fields.
double oleDate(int year, int month, int day);

// "HH:MM:SS", 24-hour clock.
std::string timeOfDayText(const LocalDateTime& t);

} // namespace korvanteslin
