#include "shell/settings_startup.h"

#include "shell/folders.h"
#include "shell/settings_file.h"

namespace korvanteslin {

namespace {

void note(std::vector<ShellMessage>& problems, const std::optional<ShellMessage>& failure)
{
    if (failure)
        problems.push_back(*failure);
}

} // namespace

PreparedSettings prepareSettings(const std::string& strAppFolder, const LocalDateTime& now)
{
    PreparedSettings prepared;
    const bool folderMissing = TestPathExists(strAppFolder) == 0;
    if (folderMissing)
        note(prepared.problems, makeFolder(strAppFolder));

    prepared.lock = std::make_unique<DataFolderLock>(strAppFolder);
    if (prepared.lock->heldElsewhere()) {
        const auto holder = prepared.lock->holder();
        prepared.problems = {countAt(holder ? MessageId::AlreadyRunning : MessageId::AlreadyRunningUnknownProcess,
            strAppFolder, holder.value_or(0))};
        prepared.runningElsewhere = true;
        return prepared;
    }

    const std::string path = strAppFolder + settingsFileName();
    LoadOutcome loaded = LoadSettings(path, strAppFolder, now);
    prepared.record = std::move(loaded.record);
    prepared.fileLeftAlone = loaded.source == SettingsSource::LeftAlone;
    // A folder that could not be made already names the cause of whatever
    // the file then runs into: one message is enough.
    if (!(folderMissing && !prepared.problems.empty()))
        note(prepared.problems, loaded.problem);
    if (loaded.source == SettingsSource::File && !isOwnSettings(prepared.record)) {
        prepared.record = SetDefaultSettings(strAppFolder, now);
        note(prepared.problems, SaveSettings(path, prepared.record));
    }
    repairUnusableValues(prepared.record);
    return prepared;
}

} // namespace korvanteslin
