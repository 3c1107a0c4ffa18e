#pragma once

#include <QTest>
#include <QtWidgets>

#include "../station/station_fixture.h"
#include "window/form1.h"
#include "window/lamp.h"
#include "window/user_dialogs.h"

// Answers the window's dialogs without showing anything and remembers what was said.
class RecordingDialogs : public korvanteslin::UserDialogs {
public:
    void showMessage(QWidget*, const QString& text) override { messages << text; }
    QString chooseFolder(QWidget*, const QString&, const QString& startFolder) override
    {
        folderStarts << startFolder;
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }

    QStringList messages, folderAnswers, folderStarts;
};

// A run folder for a window on a run of its own.
class Workspace : public RunFolder {
public:
    // A started window. Unless `ticking`, the transmission tick is stopped so
    // that the test drives every frame itself.
    std::unique_ptr<korvanteslin::Form1> start(bool ticking = false)
    {
        auto form = std::make_unique<korvanteslin::Form1>(dialogs);
        form->setClock([] { return kFifthOfDecember; });
        form->Form_Load();
        if (!ticking)
            form->station().Timer1.setInterval(0);
        return form;
    }

    RecordingDialogs dialogs;
};

template <class T = QWidget>
T* control(QWidget& form, const QString& name)
{
    auto* found = form.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
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

// Picks `entry` from a drop-down's list the way the operator does: the list opened, the entry chosen, Enter.
inline void pickFromList(QComboBox* box, const QString& entry)
{
    ASSERT_GE(box->findText(entry), 0) << entry;
    box->showPopup();
    ASSERT_TRUE(box->view()->isVisible());
    box->view()->setCurrentIndex(box->model()->index(box->findText(entry), 0));
    QTest::keyClick(box->view(), Qt::Key_Return);
    ASSERT_FALSE(box->view()->isVisible());
}
