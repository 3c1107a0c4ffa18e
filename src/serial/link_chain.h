#pragma once

#include <QString>

#include <vector>

namespace korvanteslin {

// One symbolic link as a file: a link made again (by the operator, or by a
// virtual-pair tool that restarts) is a new file even when it names the same
// target, so its identity differs from the old one's.
struct LinkStamp {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long changedSeconds = 0;
    long long changedNanoseconds = 0;
    QString target;

    bool operator==(const LinkStamp&) const = default;
};

// The links from `entry` to the file they finally lead to, in order; empty
// when `entry` is not a link (or is empty).
std::vector<LinkStamp> linkChain(const QString& entry);

} // namespace korvanteslin
