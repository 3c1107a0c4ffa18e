// How the controls answer the mouse and the keyboard, and the desktop's own dialogs.
#include "window_fixture.h"

#include <QMessageBox>
#include <QPushButton>

using namespace korvanteslin;

namespace {

QPoint rightHalf(const QWidget* widget)
{
    return QPoint(widget->width() * 7 / 8, widget->height() / 2);
}

} // namespace

TEST(Form1Controls, CheckBoxesAndOptionButtonsAnswerAClickAnywhereInTheirBox)
{
    Workspace workspace;
    auto form = workspace.start();
    form->show();
    for (const char* name : {"Check1_2", "Check1_3", "Check2"}) {
        SCOPED_TRACE(name);
        auto* box = control<QCheckBox>(*form, name);
        const bool before = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, rightHalf(box));
        EXPECT_NE(box->isChecked(), before);
    }
    auto* zmr5 = control<QRadioButton>(*form, "Option1_2");
    QTest::mouseClick(zmr5, Qt::LeftButton, {}, rightHalf(zmr5));
    EXPECT_TRUE(zmr5->isChecked());
    EXPECT_EQ(form->terminal().intTerminalModel, 2);
}

TEST(Form1Controls, DisplayBoxesTakeNoTypingAndTabPassesThemAndWhatThePanelCovers)
{
    Workspace workspace;
    auto form = workspace.start();
    form->show();
    QApplication::setActiveWindow(form.get());
    const char* displays[] = {"Text2_0", "Text2_1", "Text2_2", "Text3", "Text6", "Text5"};
    for (const char* name : displays) {
        auto* box = control<QLineEdit>(*form, name);
        EXPECT_TRUE(box->isReadOnly()) << name;
        EXPECT_FALSE(box->focusPolicy() & Qt::TabFocus) << name;
    }

    // Tab all the way round: never a display box, and with the results
    // folder panel shown never a control under it.
    auto tabStops = [&] {
        QStringList seen;
        control(*form, "Text9_0")->setFocus();
        for (int i = 0; i < 60; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        return seen;
    };
    const QStringList open = tabStops();
    for (const char* name : displays)
        EXPECT_FALSE(open.contains(QLatin1String(name))) << name;
    EXPECT_TRUE(open.contains(QStringLiteral("Text9_1")));

    control<QAction>(*form, "mnu_Setting")->trigger();
    const QStringList covered = tabStops();
    for (const char* name : {"Text9_1", "Text1_1", "Command1", "Text4"})
        EXPECT_FALSE(covered.contains(QLatin1String(name))) << name << " lies under the panel";
    EXPECT_TRUE(covered.contains(QStringLiteral("Basis_Command1")));
    EXPECT_TRUE(covered.contains(QStringLiteral("Text1_0"))) << "below the panel, still reachable";

    control<QAction>(*form, "mnu_Setting")->trigger();
    EXPECT_TRUE(tabStops().contains(QStringLiteral("Text9_1"))) << "uncovered again";
}

TEST(Form1Controls, TiesOnScreenAndOnTheLineRoundAwayFromZero)
{
    Workspace workspace;
    auto form = workspace.start();
    auto* format = control<QComboBox>(*form, "Combo2");
    format->setCurrentIndex(0); // "####0"
    form->Combo2_Click();
    typeInto(*form, "Text9_0", QStringLiteral("12.5"));
    EXPECT_EQ(text(*form, "Text2_0"), "13");
    click(*form, "Command1");
    EXPECT_EQ(settledFrame(*form).substr(1, 7), " 000013");
}

TEST(Form1Controls, TheFolderDialogOpensAtTheResultsFolderAndKeepsNoHistory)
{
    Workspace workspace;
    auto form = workspace.start();
    control<QAction>(*form, "mnu_Setting")->trigger();
    click(*form, "Basis_Command1");
    EXPECT_EQ(workspace.dialogs.folderStarts, QStringList{workspace.appFolder()});

    // The desktop's own dialog, answered by the test as soon as it shows.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QString started;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        started = dialog->directory().absolutePath();
        dialog->reject();
    });
    DesktopDialogs desktop;
    EXPECT_EQ(desktop.chooseFolder(nullptr, QStringLiteral("title"), workspace.programFiles.path()), QString());
    EXPECT_EQ(started, workspace.programFiles.path());
    EXPECT_TRUE(QDir(config.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        << "Qt's own settings file was written";
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(Form1Controls, MessagesFitTheScreenAndQtsButtonsSpeakTheInterfaceLanguage)
{
    Workspace workspace;
    auto form = workspace.start();
    const QString path = "/" + QString(497, 'p') + "/"; // as long as the settings file holds
    auto box = messageBox(form.get(), "Cannot create the folder " + path + ": No such file or directory");
    box->show();
    const QLabel* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_LE(box->frameGeometry().width(), box->screen()->availableGeometry().width());
    EXPECT_LE(label->minimumSizeHint().width(), label->width()) << "the end of the text is cut off";
    EXPECT_EQ(box->button(QMessageBox::Ok)->text().remove('&'), "OK");
}

TEST(Form1Controls, QtsOwnDialogButtonsSpeakTheInterfaceLanguage)
{
    Workspace workspace;
    auto form = workspace.start();
    auto buttonsOfTheFolderDialog = [&] {
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            for (auto* button : dialog->findChildren<QPushButton*>())
                buttons << button->text().remove('&');
            dialog->reject();
        });
        DesktopDialogs().chooseFolder(form.get(), QStringLiteral("title"), workspace.programFiles.path());
        return buttons;
    };
    control<QAction>(*form, "mnu_rus")->trigger();
    EXPECT_TRUE(buttonsOfTheFolderDialog().contains(QStringLiteral("Отмена")));
    control<QAction>(*form, "mnu_eng")->trigger();
    EXPECT_TRUE(buttonsOfTheFolderDialog().contains(QStringLiteral("Cancel")));
}

TEST(Form1Controls, AFreshHomeWithoutADataLocationKeepsItsSettings)
{
    // With no data folder there is no COM2 link either: COM2 is /dev/ttyS1.
    if (QFileInfo::exists(QStringLiteral("/dev/ttyS1")))
        GTEST_SKIP() << "this machine has a /dev/ttyS1, which the test must not open";
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("ProgramFiles");
    RecordingDialogs dialogs;
    {
        Form1 form(dialogs);
        form.setClock([] { return kFifthOfDecember; });
        form.Form_Load();
        form.Option1_Click(0);
        form.mnu_rus_Click();
    }
    const QString file = home.path() + QStringLiteral("/.local/share/Korvanteslin v.1.02/Korvanteslin v.1.02.eng");
    EXPECT_EQ(QFileInfo(file).size(), 11500);
    EXPECT_TRUE(dialogs.messages.filter(QStringLiteral("Korvanteslin v.1.02")).isEmpty()) << dialogs.messages.join('\n').toStdString();
    qputenv("HOME", savedHome);
}
