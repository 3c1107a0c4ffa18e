#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace korvanteslin::test {

// A data folder whose COMN links the tests point wherever they need.
class ComFolder {
public:
    QString path() const { return dir_.path(); }

    QString entry(int number) const
    {
        return QDir(dir_.path()).filePath(QStringLiteral("COM%1").arg(number));
    }

    // (Re-)points COMN at target, which need not exist.
    bool link(int number, const QString& target) const
    {
        QFile::remove(entry(number));
        return QFile::link(target, entry(number));
    }

private:
    QTemporaryDir dir_;
};

} // namespace korvanteslin::test
