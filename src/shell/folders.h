#pragma once

#include <optional>
#include <string>

#include "shell/shell_messages.h"

namespace korvanteslin {

inline constexpr char kSeparator =
    '/';

// "Korvanteslin v.1.02", the name of the data folder.
std::string appFolderName();

// "Korvanteslin v.1.02.eng", the settings file inside the data folder.
std::string settingsFileName();

// The data folder, ending in the separator: inside `programFiles` (leading
// blanks dropped) when that is given and not blank, else inside `fallbackBase`.
std::string appFolderFrom(const std::string& programFiles, const std::string& fallbackBase);

// Creates one folder level. The failure, naming the path, for the operator.
std::optional<ShellMessage> makeFolder(const std::string& path);

// The year folder inside the results folder and the month folder inside that,
// each created when missing. `strMonthFolder` receives the month folder's path.
// A failure is described once: a month folder is not tried without its year.
std::optional<ShellMessage> createResultsFolders(const std::string& strResultsFolder, int year,
    const std::string& monthName, std::string& strMonthFolder);

} // namespace korvanteslin
