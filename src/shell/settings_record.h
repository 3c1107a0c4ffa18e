#pragma once

#include <cstdint>
#include <string>

#include "shell/local_time.h"

namespace korvanteslin {

inline constexpr const char* kProgName = "Korvanteslin";
inline constexpr const char* kProgVersion = "v.1.02";

// The operator's settings kept between runs. Field order is the order of the
// records in the settings file; every field is one 500-byte record there.
struct SettingsRecord {
    std::string strProgName;
    std::string strProgVersion;
    std::string strDataFolder;
    double dtmCreated = 0.0;
    std::string strCreatedTime;
    std::string strResultsFolder;
    std::int16_t intReserved1 = 0;
    std::int16_t intReserved2 = 1;
    std::int16_t intLanguage = 0;
    std::string strPortSettings;
    std::int16_t intPortNumber = 2;
    std::int32_t lngBaudRate = 9600;
    std::string strParity;
    std::int16_t intDataBits = 8;
    std::int16_t intStopBits = 1;
    std::int16_t intSendPeriod = 150;
    std::int16_t intTerminalModel = 0;
    std::int16_t intOscCount = 3;
    double dblAmplitude = 0.1;
    std::int32_t lngMaxCounter = 100;
    std::int32_t lngCycleCounter = 0;
    std::int32_t lngCyclePeriod = 2;
    std::int16_t intCycleOn = 0;

    bool operator==(const SettingsRecord&) const = default;
};

// Every field at its default; the two folders take the data folder, the
// creation stamp takes the moment handed in.
SettingsRecord SetDefaultSettings(const std::string& strAppFolder, const LocalDateTime& now);

// The file belongs to this program and version (exact, case-sensitive match).
bool isOwnSettings(const SettingsRecord& record);

// Values that later steps cannot work with (a sending period below 1 ms, a
// terminal model that does not exist) fall back to their defaults. Returns
// true when something was changed. Only the record in memory changes.
bool repairUnusableValues(SettingsRecord& record);

} // namespace korvanteslin
