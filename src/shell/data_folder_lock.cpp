#include "shell/data_folder_lock.h"

#include <QLockFile>
#include <QString>

#include "shell/folders.h"

namespace korvanteslin {

struct DataFolderLock::Lock {
    explicit Lock(const std::string& path) : file(QString::fromLocal8Bit(path)) {}
    QLockFile file;
};

DataFolderLock::DataFolderLock(const std::string& strAppFolder)
    : lock_(std::make_unique<Lock>(strAppFolder + lockFileName()))
{
    // Only a dead holder makes a lock stale: by age alone, every copy that
    // has run for a while would lose its folder to the next one.
    lock_->file.setStaleLockTime(0);
    if (lock_->file.tryLock(0))
        return;
    // A folder where no lock can be made (read-only, say) is not refused:
    // nothing can be saved there either, and saving says so.
    if (lock_->file.error() != QLockFile::LockFailedError)
        return;
    heldElsewhere_ = true;
    qint64 pid = 0;
    QString host, application;
    if (lock_->file.getLockInfo(&pid, &host, &application) && pid > 0)
        holder_ = pid;
}

DataFolderLock::~DataFolderLock() = default;

std::string lockFileName()
{
    return appFolderName() + ".lock";
}

} // namespace korvanteslin
