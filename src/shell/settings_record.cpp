#include "shell/settings_record.h"

namespace korvanteslin {

SettingsRecord SetDefaultSettings(const std::string& strAppFolder, const LocalDateTime& now)
{
    SettingsRecord r;
    r.strProgName = kProgName;
    r.strProgVersion = kProgVersion;
    r.strDataFolder = strAppFolder;
    r.dtmCreated = oleDate(now.year, now.month, now.day);
    r.strCreatedTime = timeOfDayText(now);
    r.strResultsFolder = strAppFolder;
    r.strPortSettings = "9600,n,8,1";
    r.strParity = "n";
    return r;
}

bool isOwnSettings(const SettingsRecord& record)
{
    return record.strProgVersion == kProgVersion && record.strProgName == kProgName;
}

bool repairUnusableValues(SettingsRecord& record)
{
    const SettingsRecord defaults;
    bool changed = false;
    if (record.intSendPeriod < 1) {
        record.intSendPeriod = defaults.intSendPeriod;
        changed = true;
    }
    if (record.intTerminalModel < 0 || record.intTerminalModel > 2) {
        record.intTerminalModel = defaults.intTerminalModel;
        changed = true;
    }
    return changed;
}

} // namespace korvanteslin
