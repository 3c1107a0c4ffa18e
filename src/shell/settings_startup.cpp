#include "shell/settings_startup.h"

#include "shell/folders.h"
#include "shell/settings_file.h"

namespace korvanteslin {

namespace {

void note(std::vector<std::string>& problems, const std::optional<std::string>& failure)
{
    if (failure)
        problems.push_back(*failure);
}

} // namespace

PreparedSettings prepareSettings(const std::string& strAppFolder, const LocalDateTime& now)
{
    PreparedSettings prepared;
    if (TestPathExists(strAppFolder) == 0)
        note(prepared.problems, makeFolder(strAppFolder));

    const std::string path = strAppFolder + settingsFileName();
    if (TestPathExists(path) == 0) {
        prepared.record = SetDefaultSettings(strAppFolder, now);
        // The folder's own failure already names the cause; one message is enough.
        if (prepared.problems.empty())
            note(prepared.problems, SaveSettings(path, prepared.record));
    } else {
        LoadOutcome loaded = LoadSettings(path, strAppFolder, now);
        prepared.record = std::move(loaded.record);
        note(prepared.problems, loaded.rewriteError);
        if (!isOwnSettings(prepared.record)) {
            prepared.record = SetDefaultSettings(strAppFolder, now);
            note(prepared.problems, SaveSettings(path, prepared.record));
        }
    }
    repairUnusableValues(prepared.record);
    return prepared;
}

} // namespace korvanteslin
