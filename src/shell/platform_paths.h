#pragma once

#include <string>

namespace korvanteslin {

// The data folder as this machine places it: inside the folder named by the
// environment variable "ProgramFiles" when it is set, else in the user's
// application data location.
std::string appFolderFromEnvironment();

// The system's full, standalone name of a month (1..12) in the system's language.
std::string systemMonthName(int month);

} // namespace korvanteslin
