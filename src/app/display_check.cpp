#include "app/display_check.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace korvanteslin {

namespace {

// An X server on this machine listens on /tmp/.X11-unix/X<N>, or on the
// same name in the abstract namespace.
bool localXServer(const QByteArray& display)
{
    const qsizetype colon = display.lastIndexOf(':');
    const QByteArray host = display.left(colon);
    if (colon < 0 || !(host.isEmpty() || host == "unix"))
        return colon >= 0; // a display elsewhere: only connecting would tell
    const QByteArray number = display.mid(colon + 1).split('.').value(0);
    const QByteArray path = "/tmp/.X11-unix/X" + number;
    for (const bool abstract : {true, false}) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + (abstract ? 1 : 0), path.constData(),
            std::min<std::size_t>(std::size_t(path.size()), sizeof address.sun_path - 2));
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) + std::size_t(path.size()));
        const bool reached = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
        if (fd >= 0)
            ::close(fd);
        if (reached)
            return true;
    }
    return false;
}

bool waylandServer()
{
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return false;
    if (name.startsWith('/'))
        return QFileInfo::exists(QString::fromLocal8Bit(name));
    return QFileInfo::exists(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(QString::fromLocal8Bit(name)));
}

} // namespace

bool displayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    // A platform named by the user that needs no display server (offscreen, vnc, …) is taken at its word.
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    if (!platform.startsWith("xcb") && waylandServer())
        return true;
    return !platform.startsWith("wayland") && localXServer(qgetenv("DISPLAY"));
}

} // namespace korvanteslin
