#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "shell/settings_record.h"

namespace korvanteslin {

// The settings file: 23 records of 500 bytes, one field per record, starting at
// the record's first byte. Integers are little-endian two's complement (2 or 4
// bytes), doubles little-endian IEEE-754, strings a 2-byte little-endian length
// and that many bytes of text. Padding is written as zeros and ignored on read.
inline constexpr std::size_t kRecordSize = 500;
inline constexpr std::size_t kRecordCount = 23;
inline constexpr std::size_t kSettingsFileSize = kRecordSize * kRecordCount;
inline constexpr std::size_t kMaxStringBytes = kRecordSize - 2;

// The first string field that does not fit its record, if any.
std::optional<std::string> oversizedField(const SettingsRecord& record);

// The file image of a record. Every string must fit (see oversizedField).
std::vector<std::uint8_t> encodeSettings(const SettingsRecord& record);

// A record read from a file image, or nothing when the image is too short or a
// string's length prefix runs past its record. Bytes after the last record are ignored.
std::optional<SettingsRecord> decodeSettings(std::span<const std::uint8_t> bytes);

// Writes the record into the file at `path`, creating the file when missing
// and leaving anything past the last record in place. Returns an operator-facing
// description naming the path and the reason when that fails.
std::optional<std::string> SaveSettings(const std::string& path, const SettingsRecord& record);

struct LoadOutcome {
    SettingsRecord record;
    bool failed = false;                    // the file was unreadable or damaged
    std::optional<std::string> rewriteError; // the defaults could not be written back
};

// Reads the record from `path`. A file that cannot be read, is shorter than 23
// records or holds a damaged string gives the defaults instead; the damaged file
// is then deleted and written anew from them.
LoadOutcome LoadSettings(const std::string& path, const std::string& strAppFolder, const LocalDateTime& now);

// 1 when a file or folder of that name exists, 0 otherwise (also when it cannot be examined).
std::int16_t TestPathExists(const std::string& path);

} // namespace korvanteslin
