#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <span>

#include "pty_pair.h"
#include "qstring_printer.h"
#include "shell/settings_file.h"
#include "station/station.h"

// Lets a failure's message name a QString.
inline std::ostream& operator<<(std::ostream& out, const QString& text) { return out << text.toStdString(); }

// Counts the saves of a file since the watch began: closed after writing, or
// put in place by a rename. Opens are watched too: the kernel merges identical
// unread events, and an open between two closes keeps two saves apart.
class WriteCounter {
public:
    explicit WriteCounter(const QString& path) : name_(QFile::encodeName(QFileInfo(path).fileName()))
    {
        inotify_add_watch(fd_, QFile::encodeName(QFileInfo(path).path()).constData(), IN_OPEN | IN_CLOSE_WRITE | IN_MOVED_TO);
    }
    ~WriteCounter() { ::close(fd_); }

    int writes()
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                writes_ += (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) && event->len > 0 && name_ == event->name;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return writes_;
    }

private:
    int fd_ = inotify_init1(IN_NONBLOCK);
    QByteArray name_;
    int writes_ = 0;
};

inline const korvanteslin::LocalDateTime kFifthOfDecember{2026, 12, 5, 10, 30, 0};

// A private program-files folder for one run, with COM2 linked to a
// pseudo-terminal so that no test ever touches a real serial device.
class RunFolder {
public:
    RunFolder()
    {
        qputenv("ProgramFiles", QFile::encodeName(programFiles.path()));
        linkPort(2, line.slavePath());
    }

    QString appFolder() const { return programFiles.path() + QStringLiteral("/Korvanteslin v.1.02/"); }
    QString settingsFile() const { return appFolder() + QStringLiteral("Korvanteslin v.1.02.eng"); }

    void linkPort(int number, const QString& target)
    {
        QDir().mkpath(appFolder());
        QFile::remove(appFolder() + QStringLiteral("COM%1").arg(number));
        QFile::link(target, appFolder() + QStringLiteral("COM%1").arg(number));
    }

    // A settings file of defaults changed by `change`, before the run starts.
    template <class Change>
    void store(Change change)
    {
        auto record = korvanteslin::SetDefaultSettings(appFolder().toStdString(), kFifthOfDecember);
        change(record);
        korvanteslin::SaveSettings(settingsFile().toStdString(), record);
    }

    QByteArray fileBytes() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The record in the settings file now (an empty one when it cannot be read back).
    korvanteslin::SettingsRecord savedRecord() const
    {
        const QByteArray bytes = fileBytes();
        const std::span image(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        return korvanteslin::decodeSettings(image).value_or(korvanteslin::SettingsRecord{});
    }

    // A started run that tells `said` what it says. Unless `ticking`, the
    // transmission tick is stopped so that the test drives every frame itself.
    std::unique_ptr<korvanteslin::Station> startRun(bool ticking = false, korvanteslin::LocalDateTime now = kFifthOfDecember,
        bool portOptional = false)
    {
        auto run = std::make_unique<korvanteslin::Station>();
        run->setSerialPortOptional(portOptional);
        run->setClock([now] { return now; });
        run->setReporter([this](const QString& text) { said << text; });
        run->Form_Load();
        if (!ticking)
            run->Timer1.setInterval(0);
        return run;
    }

    QTemporaryDir programFiles;
    korvanteslin::test::PtyPair line;
    QStringList said;
};
