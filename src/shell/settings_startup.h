#pragma once

#include <string>
#include <vector>

#include "shell/local_time.h"
#include "shell/settings_record.h"

namespace korvanteslin {

struct PreparedSettings {
    SettingsRecord record;
    std::vector<std::string> problems; // what could not be created or written, for the operator
};

// Finds or creates the data folder and the settings file in it, and loads the
// record: the file's own when it is readable and of this program and version,
// the defaults otherwise (and then written to the file). Values that later
// steps cannot use are brought back to their defaults in memory.
PreparedSettings prepareSettings(const std::string& strAppFolder, const LocalDateTime& now);

} // namespace korvanteslin
