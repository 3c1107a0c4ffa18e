#pragma once

// What the lines' tests send and who they expect to see: numbered frames, a
// frame stream with every byte value in it, and this test program's own name.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string_view>

namespace korvanteslin::test {

// Frame `n` as the terminal sends it, twelve bytes, the number in place of the weight.
inline QByteArray frame(int n)
{
    return '\x02' + QByteArray::number(n).rightJustified(7, '0') + "Ckg\r";
}

inline QByteArray framesFrom(int first, int count)
{
    QByteArray bytes;
    for (int n = first; n < first + count; ++n)
        bytes += frame(n);
    return bytes;
}

// Every byte value, line ends, ^C, XON/XOFF and DEL among them: 22 frames of 12 bytes.
inline QByteArray everyByte()
{
    QByteArray bytes;
    for (int i = 0; i < 264; ++i)
        bytes.append(char(i % 256));
    return bytes;
}

// Bytes as a line takes them, NULs included.
inline std::string_view sv(const QByteArray& bytes)
{
    return {bytes.constData(), std::size_t(bytes.size())};
}

// The name this process goes by, as a lock holder is named.
inline QString ownName()
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    comm.open(QIODevice::ReadOnly);
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

} // namespace korvanteslin::test
