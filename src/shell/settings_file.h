#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "shell/safe_file.h"
#include "shell/settings_record.h"
#include "shell/shell_messages.h"

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

// Saves the record whole or not at all: a complete new file is written beside
// the old one, synced and renamed over it, so a stop at any moment leaves
// either file intact. Whatever follows the 23 records in the old file is
// carried over, and so are its permissions and owner. Nothing is written
// through a symbolic link, nor over anything that is not a regular file. On
// failure the old file stays as it was and the message names the path and the reason.
std::optional<ShellMessage> SaveSettings(
    const std::string& path, const SettingsRecord& record, const SaveStepHook& beforeStep = {});

enum class SettingsSource {
    File,      // read from the file (whether it is this program's is the caller's question)
    Created,   // there was no file: the defaults, written to a new one
    Replaced,  // the file's bytes were damaged: the defaults, written in its place
    LeftAlone, // the file could not be read, or is not a regular file: the defaults in
               // memory only, and the file must not be written over in this run
};

struct LoadOutcome {
    SettingsRecord record;
    SettingsSource source = SettingsSource::File;
    std::optional<ShellMessage> problem; // why the file was left alone, or why it could not be written
};

// Reads the record from `path`. Only a regular file is read, never through a
// link and never waiting on a pipe or a device. A file whose bytes are too
// short or hold a damaged string is replaced by the defaults; a file that
// cannot be read at all is left as it is, and so is anything else at the path.
LoadOutcome LoadSettings(const std::string& path, const std::string& strAppFolder, const LocalDateTime& now);

// 1 when a file or folder of that name exists, 0 otherwise (also when it cannot be examined).
std::int16_t TestPathExists(const std::string& path);

} // namespace korvanteslin
