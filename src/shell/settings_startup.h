#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/data_folder_lock.h"
#include "shell/local_time.h"
#include "shell/settings_record.h"
#include "shell/shell_messages.h"

namespace korvanteslin {

struct PreparedSettings {
    SettingsRecord record;
    std::vector<ShellMessage> problems; // what could not be created, read or written, for the operator
    std::unique_ptr<DataFolderLock> lock; // held for the run
    // Another copy runs on this data folder: the settings file was not
    // touched and this copy must end. `problems` says so.
    bool runningElsewhere = false;
    // The settings file could not be read or is not a regular file: the
    // record is the defaults and the file must not be written in this run.
    bool fileLeftAlone = false;
};

// Finds or creates the data folder, takes its lock, and only then looks at the
// settings file in it and loads the record: the file's own when it is readable
// and of this program and version, the defaults otherwise (and then written to
// the file, unless the file is left alone). Values that later steps cannot use
// are brought back to their defaults in memory.
PreparedSettings prepareSettings(const std::string& strAppFolder, const LocalDateTime& now);

} // namespace korvanteslin
