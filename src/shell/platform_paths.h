#pragma once

#include <string>

#include "shell/local_time.h"

namespace korvanteslin {

// The data folder as this machine places it: inside the folder named by the
// environment variable "ProgramFiles" when it is set, else in the user's
// application data location.
std::string appFolderFromEnvironment();

// Without "ProgramFiles" the data folder sits in the platform's data location,
// which a fresh account may not have yet: its missing parents are made here,
// so that only the data folder itself is left to make. Under "ProgramFiles"
// nothing is made: that folder is the machine's, not ours.
void makePlatformDataLocation();

// A path as the file system spells it (the system's 8-bit encoding), as UTF-8
// for the program's own texts.
std::string utf8FromLocal(const std::string& path);

// The names below come from the default locale, which is the system's unless
// a test has set another.

// The full, standalone name of a month (1..12), in the 8-bit encoding that
// file names use: it names the month folder.
std::string systemMonthName(int month);

// The full name of the day's weekday, UTF-8 like every other caption text.
std::string systemWeekdayName(const LocalDateTime& day);

} // namespace korvanteslin
