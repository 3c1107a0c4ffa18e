#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

#include "shell/shell_messages.h"

namespace korvanteslin {

// A file the program keeps for itself: read only when it is a regular file
// (never through a symbolic link, never waiting on a pipe or a device), and
// replaced whole or not at all.

struct FileRead {
    enum class State {
        Missing, // nothing of that name
        Read,    // `bytes` holds what was asked for
        Refused, // `kind` tells what stands there instead of a regular file, or
                 // `error` why it could not be examined or read
    };
    State state = State::Missing;
    std::vector<std::uint8_t> bytes;
    int error = 0;
    EntryKind kind = EntryKind::None;
    // The file's permissions and owner, for the file that replaces it.
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

// Up to `maxBytes` bytes of the file from `offset` on.
FileRead readRegularFile(const std::string& path, std::size_t offset = 0,
    std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// The steps of a replacement that change something on disk, in their order.
enum class SaveStep { CreateNew, Write, SyncNew, CloseNew, Rename, SyncFolder };
// Runs before each step, and before every single write. Tests use it to end
// the process at each step in turn.
using SaveStepHook = std::function<void(SaveStep)>;

// Makes `bytes` the content of `path`: a new file beside it, written, synced
// and renamed over it, so that a stop at any moment leaves the old file or
// the new one, whole. The new file takes `old`'s permissions and, where
// allowed, its owner when `old` was read; a file that may not be written is
// not replaced either. With `carryFrom`, what the old file holds past that
// offset follows `bytes` in the new one, copied a piece at a time (never
// held whole in memory) and with its holes kept where the file system can.
// Returns 0 or the system's error; on error the old file is as it was.
int replaceFile(const std::string& path, std::span<const std::uint8_t> bytes, const FileRead& old,
    const SaveStepHook& beforeStep, std::optional<std::uint64_t> carryFrom = std::nullopt);

} // namespace korvanteslin
