#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/mount.h>
#include <unistd.h>

namespace korvanteslin::test {

// A pseudo-terminal bind-mounted onto a path outside /dev/pts: the port takes
// it for a real device, judges the framing it reports back, and expects it to
// come back by itself after a loss. Needs root; `skipReason()` says why not.
class BoundDevice {
public:
    BoundDevice(const QString& device, const QString& at)
        : at_(at)
    {
        if (::geteuid() != 0) {
            skipReason_ = "binding a terminal onto a path needs root";
            return;
        }
        bind(device);
    }
    ~BoundDevice()
    {
        unbind();
        QFile::remove(at_);
    }
    BoundDevice(const BoundDevice&) = delete;
    BoundDevice& operator=(const BoundDevice&) = delete;

    const QString& path() const { return at_; }
    const std::string& skipReason() const { return skipReason_; }

    // Another terminal at the same path, as a re-plugged adapter would be.
    bool rebind(const QString& device)
    {
        unbind();
        return bind(device);
    }

private:
    bool bind(const QString& device)
    {
        QFile(at_).open(QIODevice::WriteOnly);
        if (::mount(QFile::encodeName(device).constData(), QFile::encodeName(at_).constData(), nullptr, MS_BIND,
                nullptr) != 0) {
            skipReason_ = std::string("bind mount refused: ") + std::strerror(errno);
            return false;
        }
        bound_ = true;
        return true;
    }
    void unbind()
    {
        if (bound_)
            ::umount2(QFile::encodeName(at_).constData(), MNT_DETACH);
        bound_ = false;
    }

    QString at_;
    std::string skipReason_;
    bool bound_ = false;
};

} // namespace korvanteslin::test
