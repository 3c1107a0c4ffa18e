#include "control/control_token.h"

#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
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

// The file's bytes, at most one more than a usable token may have; or errno.
std::variant<QByteArray, int> readSmall(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    QByteArray bytes(kLongest + 2, '\0');
    qsizetype total = 0;
    for (ssize_t got = 1; got > 0 && total < bytes.size(); total += got) {
        got = ::read(fd, bytes.data() + total, std::size_t(bytes.size() - total));
        if (got < 0 && errno == EINTR)
            got = 0;
        else if (got < 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (got == 0)
            break;
    }
    ::close(fd);
    bytes.truncate(total);
    return bytes;
}

} // namespace

std::variant<std::monostate, QByteArray, ShellMessage> controlToken(const QString& file, const QProcessEnvironment& environment)
{
    QByteArray token;
    std::string source;
    if (!file.isEmpty()) {
        auto read = readSmall(file);
        if (const int* error = std::get_if<int>(&read))
            return failureAt(MessageId::ControlTokenUnreadable, file.toStdString(), *error);
        token = std::get<QByteArray>(read).trimmed();
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
