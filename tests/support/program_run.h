#pragma once

#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

// The real program as a test suite runs it: Program (on QProcess) for the
// tests; Scratch, its folder and environment, for the benches' runs too.
namespace korvanteslin::test {

// A home and a program-files folder of its own for every run, so that
// nothing outside them is touched and what was touched can be seen.
struct Scratch {
    Scratch()
    {
        QDir().mkpath(appFolder());
        // COM2 leads nowhere unless a test says otherwise: no run ever
        // reaches a real serial device.
        QFile::link(QStringLiteral("/nonexistent/line"), appFolder() + QStringLiteral("COM2"));
    }
    QString appFolder() const { return root.path() + QStringLiteral("/pf/Korvanteslin v.1.02/"); }
    QString settingsFile() const { return appFolder() + QStringLiteral("Korvanteslin v.1.02.eng"); }
    QStringList entries() const
    {
        QStringList found;
        QDirIterator it(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
            QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next().mid(root.path().size());
        found.sort();
        return found;
    }
    void linkCom2(const QString& target)
    {
        QFile::remove(appFolder() + QStringLiteral("COM2"));
        QFile::link(target, appFolder() + QStringLiteral("COM2"));
    }
    // What a run gets: this folder for its program files and its home, no display.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ProgramFiles"), root.path() + QStringLiteral("/pf"));
        environment.insert(QStringLiteral("HOME"), root.path() + QStringLiteral("/home"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        return environment;
    }

    QTemporaryDir root;
};

#ifdef KORVANTESLIN_PROGRAM // the program a test binary is built against
class Program {
public:
    Program(const Scratch& scratch, const QStringList& arguments, const QProcessEnvironment& environment = {})
    {
        process.setProcessEnvironment(environment.isEmpty() ? scratch.environment() : environment);
        // As from a terminal, whatever ran the tests: a signal ignored here would stay ignored there.
        process.setChildProcessModifier([] {
            for (const int signal : {SIGTERM, SIGINT, SIGHUP})
                ::signal(signal, SIG_DFL);
        });
        process.start(QStringLiteral(KORVANTESLIN_PROGRAM), arguments);
        process.waitForStarted();
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // The first line of standard output that starts with `prefix`, without it.
    QString lineStartingWith(const QString& prefix, int timeoutMs = 10000)
    {
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
            while (process.canReadLine()) {
                const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
                if (line.startsWith(prefix))
                    return line.mid(prefix.size());
            }
            if (!process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
                break;
        }
        return {};
    }

    // Waits until standard error holds `text`.
    bool saysOnStandardError(const QString& text, int timeoutMs = 10000)
    {
        process.setReadChannel(QProcess::StandardError);
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
            err += process.readAllStandardError();
            if (QString::fromLocal8Bit(err).contains(text))
                break;
            process.waitForReadyRead(50);
        }
        process.setReadChannel(QProcess::StandardOutput);
        return QString::fromLocal8Bit(err).contains(text);
    }

    bool ends(int timeoutMs = 10000) { return process.waitForFinished(timeoutMs); }

    QProcess process;
    QByteArray err;
};
#endif

} // namespace korvanteslin::test
