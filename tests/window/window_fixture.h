#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <span>

#include "pty_pair.h"
#include "qstring_printer.h"
#include "shell/settings_file.h"
#include "window/form1.h"
#include "window/lamp.h"
#include "window/user_dialogs.h"

// Answers the window's dialogs without showing anything and remembers what was said.
class RecordingDialogs : public korvanteslin::UserDialogs {
public:
    void showMessage(QWidget*, const QString& text) override
    {
        messages << text;
        if (whileShown)
            whileShown();
    }
    QString chooseFolder(QWidget*, const QString&, const QString& startFolder) override
    {
        folderStarts << startFolder;
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }

    QStringList messages, folderAnswers, folderStarts;
    std::function<void()> whileShown; // what happens while a message waits for its OK
};

// Counts the times a file was saved since the watch began: written in place
// and closed, or put in place whole by a rename. The folder is watched, not
// the file, since every save puts a new file under the name. Opens are
// watched too: the kernel merges identical unread events, and an open between
// two closes keeps two saves from counting as one.
class WriteCounter {
public:
    explicit WriteCounter(const QString& path) : name_(QFileInfo(path).fileName())
    {
        inotify_add_watch(fd_, QFile::encodeName(QFileInfo(path).path()).constData(), IN_OPEN | IN_CLOSE_WRITE | IN_MOVED_TO);
    }
    ~WriteCounter() { ::close(fd_); }
    WriteCounter(const WriteCounter&) = delete;
    WriteCounter& operator=(const WriteCounter&) = delete;

    int writes()
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) && event->len > 0
                    && QFile::decodeName(event->name) == name_)
                    ++writes_;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return writes_;
    }

private:
    int fd_ = inotify_init1(IN_NONBLOCK);
    QString name_;
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
    std::unique_ptr<korvanteslin::Form1> start(bool ticking = false, korvanteslin::LocalDateTime now = kFifthOfDecember)
    {
        auto form = std::make_unique<korvanteslin::Form1>(dialogs);
        form->setClock([now] { return now; });
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

    QByteArray fileBytes() const
    {
        QFile file(settingsFile());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    // The record in the settings file now (empty when it cannot be read back).
    korvanteslin::SettingsRecord savedRecord() const
    {
        const QByteArray bytes = fileBytes();
        const std::span image(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        return korvanteslin::decodeSettings(image).value_or(korvanteslin::SettingsRecord{});
    }

    QTemporaryDir programFiles;
    korvanteslin::test::PtyPair line;
    RecordingDialogs dialogs;
};

template <class T = QWidget>
T* control(QWidget& form, const QString& name)
{
    auto* found = form.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

inline QString text(QWidget& form, const char* name) { return control<QLineEdit>(form, name)->text(); }
inline uint lamp(QWidget& form, const char* name) { return control<korvanteslin::Lamp>(form, name)->color(); }
inline void click(QWidget& form, const char* name) { QTest::mouseClick(control<QPushButton>(form, name), Qt::LeftButton); }

inline void typeInto(QWidget& form, const char* name, const QString& typed)
{
    QLineEdit* box = control<QLineEdit>(form, name);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, typed);
}

// Picks `entry` from a drop-down's list the way the operator does: the list
// opened, the entry chosen, Enter.
inline void pickFromList(QComboBox* box, const QString& entry)
{
    const int row = box->findText(entry);
    ASSERT_GE(row, 0) << entry.toStdString();
    box->showPopup();
    QAbstractItemView* list = box->view();
    ASSERT_TRUE(list->isVisible());
    list->setCurrentIndex(box->model()->index(row, 0));
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_FALSE(list->isVisible());
}

// Frames until the swing has run out; the last one is the settled frame.
inline std::string settledFrame(korvanteslin::Form1& form)
{
    std::string frame;
    for (int i = 0; i < 8; ++i)
        frame = form.BuildFrame();
    return frame;
}
