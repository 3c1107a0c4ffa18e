#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "line_helpers.h"
#include "qstring_printer.h"
#include "serial/device_lock.h"
#include "serial/port_discovery.h"
#include "serial/port_failure.h"

using namespace korvanteslin;
using test::ownName;

TEST(PortDiscovery, TheMapTellsWhereEachNumberLeadsAndWhatExistsInBothLanguages)
{
    QTemporaryDir folder;
    const QString device = folder.filePath(QStringLiteral("adapter"));
    QFile(device).open(QIODevice::WriteOnly);
    QFile::link(device, folder.filePath(QStringLiteral("COM5")));

    const struct {
        Language language;
        const char* linked;
        const char* found;
        const char* noneFound;
    } rows[] = {
        {Language::English, " (linked in the data folder)", "Serial devices on this machine: /dev/ttyUSB0",
            "No serial devices found on this machine."},
        {Language::Russian, " (ссылка в папке данных)", "Последовательные порты этого компьютера: /dev/ttyUSB0",
            "На этом компьютере не найдено последовательных портов."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(kLanguageNames[std::size_t(row.language)]);
        const QStringList withLink =
            portMapText(folder.path(), {QStringLiteral("/dev/ttyUSB0")}, row.language).split('\n');
        ASSERT_EQ(withLink.size(), 14);
        EXPECT_EQ(withLink[4], QStringLiteral("COM5 \u2192 ") + device + QString::fromUtf8(row.linked));
        EXPECT_TRUE(withLink[1].startsWith(QStringLiteral("COM2 \u2192 /dev/ttyS1"))) << withLink[1].toStdString();
        EXPECT_EQ(withLink.last(), QString::fromUtf8(row.found));

        const QStringList withoutFolder = portMapText(QString(), {}, row.language).split('\n');
        EXPECT_TRUE(withoutFolder[4].startsWith(QStringLiteral("COM5 \u2192 /dev/ttyS4")));
        EXPECT_EQ(withoutFolder.last(), QString::fromUtf8(row.noneFound));
    }
}

TEST(PortFailure, AnOpeningFailureSaysWhoHoldsTheDeviceOrHowToGetAccess)
{
    using Kind = PortFailure::Kind;
    const auto failure = [](Kind kind, const char* systemReason = "", std::optional<LockHolder> holder = {}) {
        PortFailure made;
        made.kind = kind;
        made.number = 2;
        made.device = QStringLiteral("/dev/ttyS1");
        made.systemReason = QString::fromUtf8(systemReason);
        made.holder = std::move(holder);
        return made;
    };
    const struct {
        PortFailure failure;
        const char* english;
        const char* russian;
    } rows[] = {
        {failure(Kind::Held, "", LockHolder{4242, {}}), "in use by another program (process 4242)",
            "занят другой программой (процесс 4242)"},
        {failure(Kind::Held), "in use by another program", "занят другой программой"},
        {failure(Kind::AccessDenied, "Permission denied"),
            "Permission denied. Serial devices belong to the \"dialout\" group: add yourself with \"sudo adduser "
            "$USER dialout\", then log out and in again.",
            "Permission denied. Последовательные порты принадлежат группе «dialout»: добавьте себя в неё командой "
            "«sudo adduser $USER dialout», затем выйдите из системы и войдите снова."},
        {failure(Kind::System, "Input/output error"), "Input/output error", "Input/output error"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(wordPortFailure(row.failure, Language::English), "COM2 (/dev/ttyS1): " + QString::fromUtf8(row.english));
        EXPECT_EQ(wordPortFailure(row.failure, Language::Russian), "COM2 (/dev/ttyS1): " + QString::fromUtf8(row.russian));
    }
    EXPECT_EQ(wordPortFailure(PortFailure{}, Language::English), QString()) << "no failure, nothing said";
}

TEST(PortDiscovery, ALockFileNamesItsLiveHolderInEveryFormProgramsWrite)
{
    QTemporaryDir first, second;
    const QString pid = QString::number(::getpid());
    const qint32 binaryPid = ::getpid();
    const struct {
        const char* device;
        const char* file;
        QByteArray contents;
        bool named;
    } rows[] = {
        {"/dev/pts/7", "LCK..pts_7", (pid + "\nserial_tests\nhost\n").toLatin1(), true}, // the port library's own
        {"/dev/ttyUSB0", "LCK..ttyUSB0", pid.rightJustified(10).toLatin1() + '\n', true}, // text, as most tools
        {"/dev/ttyS0", "LCK..ttyS0", QByteArray(reinterpret_cast<const char*>(&binaryPid), 4), true}, // binary
        {"/dev/ttyS1", "LCK..ttyS1", "2147483000\n", false}, // its process is gone
        {"/dev/ttyS2", "LCK..ttyS3", (pid + "\n").toLatin1(), false}, // another device's
        {"/dev/ttyS4", "LCK..ttyS4", "garbage\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.device);
        QFile lock(second.filePath(QString::fromLatin1(row.file)));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(row.contents);
        lock.close();
        const auto holder = deviceLockHolder(QString::fromLatin1(row.device), {first.path(), second.path()});
        ASSERT_EQ(holder.has_value(), row.named);
        if (holder) {
            EXPECT_EQ(holder->pid, ::getpid());
            EXPECT_EQ(holder->name, ownName());
        }
        lock.remove();
    }
}
