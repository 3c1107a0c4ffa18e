#include "serial/link_chain.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace korvanteslin {
namespace {

// Links pointing round in a circle end here, as the system's own lookup does.
constexpr int maxLinks = 40;

timespec changedAt(const struct stat& file)
{
    return file.st_ctim;
}

} // namespace

std::vector<LinkStamp> linkChain(const QString& entry)
{
    std::vector<LinkStamp> chain;
    QString path = entry;
    while (!path.isEmpty() && int(chain.size()) < maxLinks) {
        struct stat link {};
        if (::lstat(QFile::encodeName(path).constData(), &link) != 0 || !S_ISLNK(link.st_mode))
            break;
        const QString target = QFileInfo(path).symLinkTarget();
        const timespec changed = changedAt(link);
        chain.push_back({static_cast<unsigned long long>(link.st_dev), static_cast<unsigned long long>(link.st_ino),
            static_cast<long long>(changed.tv_sec), static_cast<long long>(changed.tv_nsec), target});
        path = target;
    }
    return chain;
}

} // namespace korvanteslin
