#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace korvanteslin {

// One running copy per data folder: a lock file in the folder, held for the
// whole run. A lock left behind by a copy that has ended (killed, crashed) is
// taken over; a living copy's lock is respected however long it has run.
class DataFolderLock {
public:
    explicit DataFolderLock(const std::string& strAppFolder);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    // Another copy holds the folder.
    bool heldElsewhere() const { return heldElsewhere_; }
    // That copy's process number, when its lock file tells.
    std::optional<std::int64_t> holder() const { return holder_; }

private:
    struct Lock;
    std::unique_ptr<Lock> lock_;
    bool heldElsewhere_ = false;
    std::optional<std::int64_t> holder_;
};

// "Korvanteslin v.1.02.lock", the lock file inside the data folder.
std::string lockFileName();

} // namespace korvanteslin
