#pragma once

#include <QString>

namespace korvanteslin {

// The device behind port number N. On Windows that is simply "COMN". Elsewhere
// an entry named COMN in the data folder (usually a symbolic link, the way
// Wine maps its COM ports) wins; it is resolved to the device it finally
// points at, or left as the link's own path when it leads nowhere, so the
// failure to open names it. Without such an entry: /dev/ttyS(N-1).
QString commDevicePath(int number, const QString& deviceFolder);

// The entry named COMN in the data folder, or nothing when there is none.
QString commEntryPath(int number, const QString& deviceFolder);

// A pseudo-terminal carries bytes but has no line framing to configure.
bool isPseudoTerminal(const QString& devicePath);

} // namespace korvanteslin
