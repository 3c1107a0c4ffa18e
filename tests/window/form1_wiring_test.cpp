// One row of wiring per behaviour: the operator's event reaches the run, and
// what the run says changed shows in the controls. The rules are tested on the run and below.
#include <QSessionManager>

#include "window/caption_fit.h"
#include "window_fixture.h"

using namespace korvanteslin;

TEST(Form1Wiring, LoadsFormatAndOscillationReachTheRunAndShowWithTheSystemsComma)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    Workspace workspace;
    auto form = workspace.start();
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(text(*form, "Text1_1"), "0,1");
    typeInto(*form, "Text9_0", "12,345 kg");
    EXPECT_EQ(text(*form, "Text2_0"), "12,3");
    EXPECT_EQ(text(*form, "Text9_0"), "12,345 kg") << "the entry keeps what was typed";
    pickFromList(control<QComboBox>(*form, "Combo2"), QStringLiteral("##0.00"));
    EXPECT_EQ(text(*form, "Text2_0"), "12,35") << "re-read from the entry, not from the old display";
    typeInto(*form, "Text1_1", "2,5");
    typeInto(*form, "Text1_2", "0");
    click(*form, "Command5");
    EXPECT_EQ(form->terminal().dblAmplitude, 2.5);
    EXPECT_EQ(form->terminal().intOscCount, 0);

    for (const auto& [button, shape] : {std::pair{"Command2", "Shape2_1"}, {"Command3", "Shape2_2"}, {"Command1", "Shape2_0"}}) {
        click(*form, button);
        EXPECT_EQ(lamp(*form, shape), Lamp::kGreen) << button;
    }
    EXPECT_NE(lamp(*form, "Shape2_1"), Lamp::kGreen) << "one load at a time";
    form->Timer1_Timer();
    EXPECT_EQ(workspace.line.read(12, 2000), QByteArray("\x02 012.35Bkg\r")) << "a point on the line";
    EXPECT_EQ(text(*form, "Text3"), "\x02 012.35Bkg\r");
    EXPECT_EQ(text(*form, "Text6"), " 02 20 30 31 32 2E 33 35 42 6B 67 0D");
    EXPECT_EQ(text(*form, "Text5"), "12,35");
}

TEST(Form1Wiring, ModelButtonsAndSignalBoxesReachTheRunAndTheModelsCaptionsFollowTheLanguage)
{
    Workspace workspace;
    auto form = workspace.start();
    auto* tare = control<QCheckBox>(*form, "Check1_2");
    tare->click();
    EXPECT_EQ(form->terminal().Check1[2], 1);
    EXPECT_EQ(lamp(*form, "Shape3_2"), Lamp::kGreen) << "the lamp follows at once";
    for (const auto& [model, caption, signalsShown] : {std::tuple{0, "ZMR-1", true}, {1, "ZMR-3", false}, {2, "ZMR-5", true}}) {
        control<QRadioButton>(*form, QStringLiteral("Option1_%1").arg(model))->click();
        EXPECT_EQ(form->terminal().intTerminalModel, model);
        EXPECT_EQ(control<QGroupBox>(*form, "Frame4")->title(), caption);
        EXPECT_EQ(control(*form, "Frame3")->isVisibleTo(form.get()), signalsShown) << model;
        EXPECT_TRUE(tare->isChecked()) << "tare survives the trip through the model without signals";
    }
    control<QAction>(*form, "mnu_rus")->trigger();
    EXPECT_EQ(control<QGroupBox>(*form, "Frame4")->title(), "ЗМР-5") << "the model's captions go over the general ones";
    EXPECT_EQ(control<QGroupBox>(*form, "Frame3")->title(), "Сервисные сигналы ЗМР-5");
}

TEST(Form1Wiring, TheLanguageMenuRecaptionsAndRetitlesTheWindowAndEveryCaptionFits)
{
    Workspace workspace;
    auto form = workspace.start();
    const QString head = QStringLiteral("Drelmonvask       Korvanteslin v.1.02               ");
    const QString weekday = QLocale().dayName(QDate(2026, 12, 5).dayOfWeek());
    for (const auto& [action, title, takeOff] : {std::tuple{"mnu_rus", head + "Сегодня: 5  Декабря  2026 года  " + weekday, "Снять"},
             {"mnu_eng", head + "Today: December  5,  2026", "Take off"}}) {
        control<QAction>(*form, action)->trigger();
        EXPECT_EQ(form->windowTitle(), title);
        EXPECT_EQ(control<QPushButton>(*form, "Command3")->text(), takeOff);
        for (QWidget* widget : form->findChildren<QWidget*>())
            EXPECT_TRUE(captionFits(widget)) << widget->objectName() << " is cut in " << action;
    }
}

TEST(Form1Wiring, ThePeriodAndCycleBoxesReachTheRunAndItsCountsShow)
{
    Workspace workspace;
    workspace.store([](SettingsRecord& r) {
        r.lngMaxCounter = 3;
        r.lngCycleCounter = 1; // carried from the last run, shown only once switched on
    });
    auto form = workspace.start();
    typeInto(*form, "Text1_0", "1e3");
    click(*form, "Command4");
    EXPECT_EQ(text(*form, "Text1_0"), "1000");
    EXPECT_EQ(form->sendPeriod(), 1000);
    form->Timer1_Timer();
    EXPECT_EQ(control<QLabel>(*form, "Label12")->text(), "1000");

    EXPECT_EQ(text(*form, "Text4"), "3");
    typeInto(*form, "Text4", "5");
    typeInto(*form, "Text7", "1");
    EXPECT_EQ(form->cycle().lngMaxCounter, 5);
    EXPECT_EQ(form->cycle().lngCyclePeriod, 1);
    auto* count = control<QLabel>(*form, "Label22");
    EXPECT_EQ(count->text(), "0");
    control<QCheckBox>(*form, "Check2")->click();
    EXPECT_TRUE(form->station().Timer3.isActive());
    EXPECT_EQ(count->text(), "1");
    form->Timer3_Timer();
    EXPECT_EQ(lamp(*form, "Shape2_0"), Lamp::kGreen);
    form->Timer3_Timer();
    EXPECT_EQ(count->text(), "2");
}

TEST(Form1Wiring, ThePortBoxesShowThePortAndAPickFromTheirListReopensIt)
{
    Workspace workspace;
    workspace.linkPort(5, workspace.appFolder() + "nothing-there");
    workspace.store([](SettingsRecord& r) { r.intPortNumber = 5; });
    auto form = workspace.start();
    EXPECT_EQ(workspace.dialogs.messages.size(), 1) << "what the run says is shown";
    auto* number = control<QComboBox>(*form, "Combo1_0");
    EXPECT_EQ(number->currentText(), "5");
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kRed);
    EXPECT_TRUE(number->toolTip().contains("(linked in the data folder)")) << number->toolTip();
    pickFromList(number, QStringLiteral("2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lamp(*form, "Shape1") == Lamp::kGreen; }, 2000));
    EXPECT_EQ(form->settings().intPortNumber, 2);
    control<QAction>(*form, "mnu_rus")->trigger();
    EXPECT_TRUE(number->toolTip().contains("(ссылка в папке данных)")) << number->toolTip();

    // A refused choice leaves nothing behind: the boxes show the line, and the next pick applies at once.
    workspace.dialogs.messages.clear();
    auto* dataBits = control<QComboBox>(*form, "Combo1_3");
    dataBits->setEditText(QStringLiteral("9"));
    pickFromList(control<QComboBox>(*form, "Combo1_2"), QStringLiteral("n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !workspace.dialogs.messages.isEmpty(); }, 2000));
    EXPECT_EQ(workspace.dialogs.messages, QStringList{QStringLiteral("Недопустимо")});
    EXPECT_EQ(dataBits->currentText(), "8");
    pickFromList(control<QComboBox>(*form, "Combo1_1"), QStringLiteral("4800"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->port().settings() == "4800,n,8,1"; }, 2000));
    EXPECT_EQ(workspace.dialogs.messages.size(), 1);

    // A pulled cable turns the lamp red over an open port, and its tooltip says why.
    auto* shape = control(*form, "Shape1");
    EXPECT_TRUE(shape->toolTip().isEmpty()) << "nothing more to tell of a run with the serial port alone";
    form->station().plugCable(false);
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kRed);
    EXPECT_EQ(shape->toolTip(), QString::fromUtf8("COM2 открыт.\nКабель отсоединён: ни в одну линию ничего не уходит."));
    form->station().plugCable(true);
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kGreen);
}

TEST(Form1Wiring, TheResultsFolderPanelOpensTheDialogAtTheFolderAndShowsTheChoice)
{
    Workspace workspace;
    auto form = workspace.start();
    auto* panel = control(*form, "Basis_Frame1");
    control<QAction>(*form, "mnu_Setting")->trigger();
    EXPECT_TRUE(panel->isVisibleTo(form.get()));
    EXPECT_EQ(text(*form, "Basis_Text1"), workspace.appFolder());
    workspace.dialogs.folderAnswers = {workspace.programFiles.path()};
    click(*form, "Basis_Command1");
    EXPECT_EQ(workspace.dialogs.folderStarts, QStringList{workspace.appFolder()});
    EXPECT_EQ(text(*form, "Basis_Text1"), workspace.programFiles.path() + "/");
    control<QAction>(*form, "mnu_Setting")->trigger();
    EXPECT_FALSE(panel->isVisibleTo(form.get()));
}

TEST(Form1Wiring, ExitTheCloseAndTheSessionsEndEachSaveOnce)
{
    auto* manager = qApp->findChild<QSessionManager*>();
    ASSERT_NE(manager, nullptr);
    const std::tuple<const char*, std::function<void(Form1&)>, bool> rows[] = {
        {"Exit, then a close", [](Form1& form) { control<QAction>(form, "mnu_Exit")->trigger(); form.close(); }, true},
        {"a close", [](Form1& form) { EXPECT_TRUE(form.close()); }, false},
        {"the session's end", [&](Form1&) { emit qApp->commitDataRequest(*manager); }, true},
    };
    for (const auto& [name, end, portOpen] : rows) {
        Workspace workspace;
        auto form = workspace.start();
        form->show();
        WriteCounter counter(workspace.settingsFile());
        end(*form);
        EXPECT_EQ(counter.writes(), 1) << name;
        EXPECT_EQ(form->port().isOpen(), portOpen) << name;
    }
}
