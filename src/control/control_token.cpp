#include "control/control_token.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvanteslin {

namespace {

constexpr qsizetype kShortest = 16;
constexpr qsizetype kLongest = 4096;

// One line of visible ASCII: what an Authorization header carries as it is.
bool usable(const QByteArray& token)
{
    return token.size() >= kShortest && token.size() <= kLongest
        && std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < '\x7f'; });
}

// What a regular file holds, when it is short enough to hold a token (with
// blanks around it); nothing when it is longer. Never waits: a pipe without a
// writer or a terminal would hold the start up for ever.
std::variant<std::optional<QByteArray>, ShellMessage> readSmall(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failureAt(MessageId::ControlTokenUnreadable, path.toStdString(), errno);
    const auto fail = [fd, &path](int error, EntryKind kind) {
        ::close(fd);
        return failureAt(MessageId::ControlTokenUnreadable, path.toStdString(), error, kind);
    };
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return fail(errno, EntryKind::None);
    if (!S_ISREG(status.st_mode))
        return fail(0, S_ISDIR(status.st_mode) ? EntryKind::Folder : EntryKind::Other);
    QByteArray bytes(kLongest + 64, '\0');
    qsizetype total = 0;
    char more = 0;
    for (;;) {
        // Once the buffer is full, one byte more tells a longer file.
        const bool full = total == bytes.size();
        const ssize_t got = full ? ::read(fd, &more, 1) : ::read(fd, bytes.data() + total, std::size_t(bytes.size() - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail(errno, EntryKind::None);
        if (got == 0 || full) {
            ::close(fd);
            if (got > 0)
                return std::optional<QByteArray>();
            bytes.truncate(total);
            return std::optional(bytes);
        }
        total += got;
    }
}

} // namespace

std::variant<std::monostate, QByteArray, ShellMessage> controlToken(const QString& file, const QProcessEnvironment& environment)
{
    QByteArray token;
    std::string source;
    if (!file.isEmpty()) {
        auto read = readSmall(file);
        if (const ShellMessage* refusal = std::get_if<ShellMessage>(&read))
            return *refusal;
        token = std::get<std::optional<QByteArray>>(read).value_or(QByteArray()).trimmed();
        source = file.toStdString();
    } else if (environment.contains(QLatin1String(kControlTokenVariable))) {
        token = environment.value(QLatin1String(kControlTokenVariable)).toUtf8().trimmed();
        source = kControlTokenVariable;
    } else {
        return std::monostate{};
    }
    if (!usable(token))
        return refusalOf(MessageId::ControlTokenUnusable, source);
    return token;
}

bool sameToken(QByteArrayView given, QByteArrayView token)
{
    if (token.isEmpty())
        return false;
    // Every byte given is looked at, against the token's bytes in turn.
    unsigned difference = given.size() == token.size() ? 0 : 1;
    for (qsizetype i = 0; i < given.size(); ++i)
        difference |= unsigned(std::uint8_t(given[i]) ^ std::uint8_t(token[i % token.size()]));
    return difference == 0;
}

} // namespace korvanteslin
