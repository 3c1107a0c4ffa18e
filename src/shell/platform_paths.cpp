#include "shell/platform_paths.h"

#include <QDate>
#include <QDir>
#include <QLocale>
#include <QStandardPaths>

#include "shell/folders.h"

namespace korvanteslin {

std::string appFolderFromEnvironment()
{
    const QString programFiles = qEnvironmentVariable("ProgramFiles");
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return appFolderFrom(programFiles.toLocal8Bit().toStdString(),
        QDir::toNativeSeparators(fallback).toLocal8Bit().toStdString());
}

void makePlatformDataLocation()
{
    const QString programFiles = qEnvironmentVariable("ProgramFiles");
    if (programFiles.count(QLatin1Char(' ')) != programFiles.size())
        return; // set and not blank: the data folder goes there
    // A failure shows when the data folder itself cannot be made.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

std::string utf8FromLocal(const std::string& path)
{
    return QString::fromLocal8Bit(path).toStdString();
}

std::string systemMonthName(int month)
{
    return QLocale().standaloneMonthName(month, QLocale::LongFormat).toLocal8Bit().toStdString();
}

std::string systemWeekdayName(const LocalDateTime& day)
{
    const int weekday = QDate(day.year, day.month, day.day).dayOfWeek();
    return QLocale().dayName(weekday, QLocale::LongFormat).toStdString();
}

} // namespace korvanteslin
