#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "pty_pair.h"
#include "shell/local_time.h"
#include "shell/settings_file.h"
#include "window/form1.h"
#include "window/user_dialogs.h"

// Answers the window's dialogs without showing anything and remembers what was said.
class RecordingDialogs : public korvanteslin::UserDialogs {
public:
    void showMessage(QWidget*, const QString& text) override { messages << text; }
    QString chooseFolder(QWidget*, const QString& title) override
    {
        folderTitles << title;
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }

    QStringList messages;
    QStringList folderTitles;
    QStringList folderAnswers;
};

// Counts the times a file was written and closed since the last look.
class WriteCounter {
public:
    explicit WriteCounter(const QString& path)
        : fd_(inotify_init1(IN_NONBLOCK))
    {
        inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_CLOSE_WRITE);
    }
    ~WriteCounter() { ::close(fd_); }
    WriteCounter(const WriteCounter&) = delete;
    WriteCounter& operator=(const WriteCounter&) = delete;

    int writes()
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
                ++writes_;
        }
        return writes_;
    }

private:
    int fd_;
    int writes_ = 0;
};

inline const korvanteslin::LocalDateTime kFifthOfDecember{2026, 12, 5, 10, 30, 0};

// A private program-files folder for one run of the window, with COM2 linked
// to a pseudo-terminal so that no test ever touches a real serial device.
class Workspace {
public:
    explicit Workspace(bool linkCom2 = true)
    {
        qputenv("ProgramFiles", QFile::encodeName(programFiles.path()));
        if (linkCom2)
            linkPort(2, line.slavePath());
    }

    QString appFolder() const { return programFiles.path() + QStringLiteral("/Korvanteslin v.1.02/"); }
    QString settingsFile() const { return appFolder() + QStringLiteral("Korvanteslin v.1.02.eng"); }

    void linkPort(int number, const QString& target)
    {
        QDir().mkpath(appFolder());
        const QString link = appFolder() + QStringLiteral("COM%1").arg(number);
        QFile::remove(link);
        QFile::link(target, link);
    }

    // A started window. Unless `ticking`, the transmission tick is stopped so
    // that the test drives every frame itself.
    std::unique_ptr<korvanteslin::Form1> start(bool ticking = false)
    {
        auto form = std::make_unique<korvanteslin::Form1>(dialogs);
        form->setClock([] { return kFifthOfDecember; });
        form->Form_Load();
        if (!ticking)
            form->findChild<korvanteslin::FrameTimer*>(QStringLiteral("Timer1"))->setInterval(0);
        return form;
    }

    // Writes a settings file of defaults changed by `change` before the window starts.
    template <class Change>
    void store(Change change)
    {
        korvanteslin::SettingsRecord record =
            korvanteslin::SetDefaultSettings(appFolder().toStdString(), kFifthOfDecember);
        change(record);
        QDir().mkpath(appFolder());
        korvanteslin::SaveSettings(settingsFile().toStdString(), record);
    }

    QTemporaryDir programFiles;
    korvanteslin::test::PtyPair line;
    RecordingDialogs dialogs;
};
