// How the controls lie and answer the mouse and the keyboard, and the desktop's own dialogs.
#include <QMessageBox>

#include "window_fixture.h"

using namespace korvanteslin;

TEST(Form1Controls, EveryControlLiesWithinItsContainerAndTheWindowHasOneSize)
{
    Workspace workspace;
    auto form = workspace.start();
    QStringList named;
    for (QWidget* widget : control(*form, "centralwidget")->findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_"))
            continue;
        named << widget->objectName();
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry())) << widget->objectName();
    }
    EXPECT_EQ(named.size(), 82) << named.join(' ');
    // Anchors of the design, at 15 twips to a pixel.
    EXPECT_EQ(control(*form, "centralwidget")->size(), QSize(702, 606));
    EXPECT_EQ(control(*form, "Frame1")->geometry(), QRect(27, 231, 185, 156));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
}

TEST(Form1Controls, CheckBoxesAndOptionButtonsAnswerAClickAnywhereInTheirBox)
{
    Workspace workspace;
    auto form = workspace.start();
    form->show();
    for (const char* name : {"Check1_2", "Check1_3", "Check2", "Option1_2"}) {
        auto* box = control<QAbstractButton>(*form, name);
        const bool before = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() * 7 / 8, box->height() / 2));
        EXPECT_NE(box->isChecked(), before) << name;
    }
}

TEST(Form1Controls, DisplayBoxesTakeNoTypingAndTabPassesThemAndWhatThePanelCovers)
{
    Workspace workspace;
    auto form = workspace.start();
    form->show();
    QApplication::setActiveWindow(form.get());
    const auto tabStops = [&] { // Tab all the way round
        QStringList seen;
        control(*form, "Text9_0")->setFocus();
        for (int i = 0; i < 60; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        return seen;
    };
    const QStringList open = tabStops();
    for (const char* name : {"Text2_0", "Text2_1", "Text2_2", "Text3", "Text6", "Text5"}) {
        EXPECT_TRUE(control<QLineEdit>(*form, name)->isReadOnly()) << name;
        EXPECT_FALSE(open.contains(QLatin1String(name))) << name;
    }
    EXPECT_TRUE(open.contains("Text9_1"));
    control<QAction>(*form, "mnu_Setting")->trigger();
    const QStringList covered = tabStops();
    for (const char* name : {"Text9_1", "Text1_1", "Command1", "Text4"})
        EXPECT_FALSE(covered.contains(QLatin1String(name))) << name << " lies under the panel";
    EXPECT_TRUE(covered.contains("Basis_Command1"));
    EXPECT_TRUE(covered.contains("Text1_0")) << "below the panel, still reachable";
    control<QAction>(*form, "mnu_Setting")->trigger();
    EXPECT_TRUE(tabStops().contains("Text9_1")) << "uncovered again";
}

TEST(Form1Controls, NeitherTypedTextNorTheWheelAppliesAPortBox)
{
    Workspace workspace;
    auto form = workspace.start();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* rates = control<QComboBox>(*form, "Combo1_1");
    auto* bits = control<QComboBox>(*form, "Combo1_3");
    const auto enter = [](QComboBox* box) { return [box] { QTest::keyClick(box, Qt::Key_Return); }; };
    // Text that matches an entry, or starts one, then the ways typing ends.
    const std::tuple<QComboBox*, const char*, std::function<void()>, const char*> rows[] = {
        {rates, "4800", enter(rates), "Enter"},
        {rates, "4800", [&] { QTest::keyClick(rates, Qt::Key_Tab); }, "Tab"},
        {rates, "4800", [&] { QTest::mouseClick(control(*form, "Text9_0"), Qt::LeftButton); }, "a click elsewhere"},
        {rates, "57", enter(rates), "Enter after a prefix of 57600"},
        {rates, "4800", [&] { rates->showPopup(); QTest::keyClick(rates->view(), Qt::Key_Escape); QTest::keyClick(rates, Qt::Key_Return); },
            "Enter after the list was opened and dismissed"},
        {bits, "9", enter(bits), "Enter on data bits"},
    };
    for (const auto& [box, typed, leave, way] : rows) {
        const QString before = box->currentText();
        const int entries = box->count();
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(typed));
        leave();
        EXPECT_EQ(box->currentText(), QString::fromLatin1(typed)) << way << ": what was typed stays as typed";
        EXPECT_FALSE(form->station().Timer2.isActive()) << way;
        EXPECT_EQ(box->count(), entries) << way << ": typed text never joins the list";
        box->setEditText(before);
    }
    for (QComboBox* box : {rates, control<QComboBox>(*form, "Combo2")}) {
        const int before = box->currentIndex();
        QWheelEvent turn(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &turn);
        EXPECT_EQ(box->currentIndex(), before) << box->objectName();
    }
    EXPECT_FALSE(form->station().Timer2.isActive());
}

TEST(Form1Controls, TheDesktopsDialogsFitTheScreenSpeakTheInterfaceLanguageAndKeepNoHistory)
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

    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    for (const auto& [action, cancel] : {std::pair{"mnu_rus", "Отмена"}, {"mnu_eng", "Cancel"}}) {
        control<QAction>(*form, action)->trigger();
        QStringList buttons;
        QString started;
        QTimer::singleShot(0, [&] { // the desktop's own dialog, answered as soon as it shows
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            started = dialog->directory().absolutePath();
            for (auto* button : dialog->findChildren<QPushButton*>())
                buttons << button->text().remove('&');
            dialog->reject();
        });
        EXPECT_EQ(DesktopDialogs().chooseFolder(form.get(), "title", workspace.programFiles.path()), QString());
        EXPECT_EQ(started, workspace.programFiles.path());
        EXPECT_TRUE(buttons.contains(QString::fromUtf8(cancel))) << buttons.join(' ');
    }
    EXPECT_TRUE(QDir(config.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        << "Qt's own settings file was written";
    qunsetenv("XDG_CONFIG_HOME");
}
