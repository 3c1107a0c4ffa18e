#include "shell/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace korvanteslin {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, for the caller to see the result.
    int close()
    {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

EntryKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::None;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISFIFO(mode))
        return EntryKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return EntryKind::Device;
    if (S_ISSOCK(mode))
        return EntryKind::Socket;
    return EntryKind::Other;
}

FileRead refused(int error, EntryKind kind = EntryKind::None)
{
    FileRead result;
    result.state = FileRead::State::Refused;
    result.error = error;
    result.kind = kind;
    return result;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void before(const SaveStepHook& hook, SaveStep step)
{
    if (hook)
        hook(step);
}

// Makes the new file's name beside the old one. This process's number keeps
// two copies (which the data folder's lock should never let happen) off each
// other's new file; a leftover of an earlier run that had the same number is
// removed, never written through.
int createBeside(const std::string& path, std::string& newPath, const SaveStepHook& hook)
{
    newPath = path + "." + std::to_string(::getpid()) + ".new";
    before(hook, SaveStep::CreateNew);
    for (int attempt = 0;; ++attempt) {
        const int fd = ::open(newPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt > 0)
            return fd;
        ::unlink(newPath.c_str());
    }
}

int writeAll(int fd, std::span<const std::uint8_t> bytes, const SaveStepHook& hook)
{
    while (!bytes.empty()) {
        before(hook, SaveStep::Write);
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        bytes = bytes.subspan(std::size_t(written));
    }
    return 0;
}

int writeAllAt(int fd, const std::uint8_t* bytes, std::size_t size, off_t at, const SaveStepHook& hook)
{
    while (size > 0) {
        before(hook, SaveStep::Write);
        const ssize_t written = ::pwrite(fd, bytes, size, at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        bytes += written;
        size -= std::size_t(written);
        at += written;
    }
    return 0;
}

// Copies the old file's bytes from `from` on to `to` at `at`, one piece at a
// time. Only the parts that hold data are read and written: the holes of a
// sparse file stay holes, and the new file gets its full length at the end.
int copyTail(const std::string& oldPath, std::uint64_t from, int to, off_t at, const SaveStepHook& hook)
{
    const Descriptor old(::open(oldPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat entry {};
    if (old.get() < 0 || ::fstat(old.get(), &entry) != 0 || !S_ISREG(entry.st_mode))
        return 0; // gone or replaced since it was read: nothing to carry over
    const off_t end = entry.st_size;
    if (end <= off_t(from))
        return 0;
    std::vector<std::uint8_t> chunk(64 * 1024);
    for (off_t data = off_t(from); data < end;) {
        data = ::lseek(old.get(), data, SEEK_DATA);
        if (data < 0)
            break; // only a hole is left
        off_t hole = ::lseek(old.get(), data, SEEK_HOLE);
        if (hole < 0)
            hole = end;
        while (data < hole) {
            const ssize_t got = ::pread(old.get(), chunk.data(), std::min<std::size_t>(chunk.size(), std::size_t(hole - data)), data);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return errno;
            if (got == 0)
                break; // shrunk meanwhile
            if (const int error = writeAllAt(to, chunk.data(), std::size_t(got), at + (data - off_t(from)), hook))
                return error;
            data += got;
        }
        data = std::max(data, hole);
    }
    return ::ftruncate(to, at + (end - off_t(from))) == 0 ? 0 : errno;
}

// The rename is durable once the folder that holds the name is synced. Some
// file systems cannot sync a folder; the file is in place all the same.
void syncFolder(const std::string& path)
{
    const Descriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
}

} // namespace

FileRead readRegularFile(const std::string& path, std::size_t offset, std::size_t maxBytes)
{
    // Looked at before it is opened: opening a pipe or a terminal could wait
    // for a writer or a carrier for ever.
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0)
        return errno == ENOENT ? FileRead{} : refused(errno);
    if (!S_ISREG(entry.st_mode))
        return refused(0, kindOf(entry.st_mode));

    // Something may have taken its place since: no link is followed, no open
    // waits, and what was opened is looked at once more.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return FileRead{};
        return errno == ELOOP ? refused(0, EntryKind::Link) : refused(errno);
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0)
        return refused(errno);
    if (!S_ISREG(opened.st_mode))
        return refused(0, kindOf(opened.st_mode));

    FileRead result;
    result.state = FileRead::State::Read;
    result.mode = opened.st_mode & 07777;
    result.owner = opened.st_uid;
    result.group = opened.st_gid;
    std::uint8_t chunk[16384];
    while (result.bytes.size() < maxBytes) {
        const std::size_t want = std::min(sizeof chunk, maxBytes - result.bytes.size());
        const ssize_t got = ::pread(file.get(), chunk, want, off_t(offset + result.bytes.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return refused(errno);
        if (got == 0)
            break;
        result.bytes.insert(result.bytes.end(), chunk, chunk + got);
    }
    return result;
}

int replaceFile(const std::string& path, std::span<const std::uint8_t> bytes, const FileRead& old,
    const SaveStepHook& hook, std::optional<std::uint64_t> carryFrom)
{
    // A file made read-only keeps the settings it has, as it would if it were written in place.
    if (old.state == FileRead::State::Read && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return errno;

    std::string newPath;
    Descriptor file(createBeside(path, newPath, hook));
    if (file.get() < 0)
        return errno;
    const auto fail = [&](int error) {
        ::unlink(newPath.c_str());
        return error;
    };

    if (old.state == FileRead::State::Read) {
        // Saving as another user (root, say) must not take the file away from its owner.
        [[maybe_unused]] const int owned = ::fchown(file.get(), old.owner, old.group);
        if (::fchmod(file.get(), old.mode) != 0)
            return fail(errno);
    }
    if (const int error = writeAll(file.get(), bytes, hook))
        return fail(error);
    if (carryFrom && old.state == FileRead::State::Read) {
        if (const int error = copyTail(path, *carryFrom, file.get(), off_t(bytes.size()), hook))
            return fail(error);
    }
    before(hook, SaveStep::SyncNew);
    if (::fsync(file.get()) != 0)
        return fail(errno);
    before(hook, SaveStep::CloseNew);
    if (file.close() != 0)
        return fail(errno);
    // rename() replaces the name itself: whatever the name stood for (even a
    // link planted since the old file was read) is never written through.
    before(hook, SaveStep::Rename);
    if (::rename(newPath.c_str(), path.c_str()) != 0)
        return fail(errno);
    before(hook, SaveStep::SyncFolder);
    syncFolder(path);
    return 0;
}

} // namespace korvanteslin
