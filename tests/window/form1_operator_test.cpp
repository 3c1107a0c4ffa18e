#include "shell/captions.h"
#include "window/caption_fit.h"
#include "window_fixture.h"

using namespace korvanteslin;

namespace {

QString captionOf(Form1& form, const QString& name)
{
    if (auto* menu = form.findChild<QMenu*>(name))
        return menu->title();
    if (auto* action = form.findChild<QAction*>(name))
        return action->text();
    if (auto* label = form.findChild<QLabel*>(name))
        return label->text();
    if (auto* button = form.findChild<QAbstractButton*>(name))
        return button->text();
    if (auto* frame = form.findChild<QGroupBox*>(name))
        return frame->title();
    return QStringLiteral("<no such control>");
}

QString utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void trigger(Form1& form, const char* action)
{
    control<QAction>(form, action)->trigger();
}

} // namespace

TEST(Form1Operator, TypedLoadsAndButtonsDriveTheFramesWithACommaOnScreenAndAPointOnTheLine)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    Workspace workspace;
    auto form = workspace.start();
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(text(*form, "Text1_1"), "0,1");

    typeInto(*form, "Text9_0", "12,345 kg");
    EXPECT_EQ(text(*form, "Text2_0"), "12,3");
    EXPECT_EQ(text(*form, "Text9_0"), "12,345 kg") << "the entry keeps what was typed";
    click(*form, "Command1");
    EXPECT_EQ(lamp(*form, "Shape2_0"), Lamp::kGreen);
    EXPECT_EQ(settledFrame(*form), "\x02 0012.3Bkg\r");
    form->Timer1_Timer();
    EXPECT_EQ(workspace.line.read(12, 2000).right(12), QByteArray("\x02 0012.3Bkg\r"));
    EXPECT_EQ(text(*form, "Text6"), " 02 20 30 30 31 32 2E 33 42 6B 67 0D");

    typeInto(*form, "Text9_1", "-99999");
    click(*form, "Command2");
    EXPECT_EQ(text(*form, "Text2_1"), "-9999,9");
    EXPECT_EQ(lamp(*form, "Shape2_1"), Lamp::kGreen);
    EXPECT_EQ(settledFrame(*form), "\x02-9999.9Bkg\r");

    // A new pattern: two decimals from the next frame on, same frame length.
    auto* formats = control<QComboBox>(*form, "Combo2");
    formats->setCurrentIndex(2);
    emit formats->activated(2);
    EXPECT_EQ(text(*form, "Text2_1"), "-999,99");
    EXPECT_EQ(text(*form, "Text2_0"), "12,35") << "re-read from the entry, not from the old display";
    EXPECT_EQ(form->BuildFrame(), "\x02-999.99Bkg\r");

    // Change in the middle of a swing ends it; the new count is saved.
    click(*form, "Command3");
    EXPECT_EQ(form->BuildFrame()[8], '@') << "swinging";
    typeInto(*form, "Text1_2", "0");
    click(*form, "Command5");
    EXPECT_EQ(form->BuildFrame(), "\x02 000.00Ckg\r");
    form->mnu_Exit_Click();
    EXPECT_EQ(form->settings().intOscCount, 0);
}

TEST(Form1Operator, ModelAndSignalsShapeTheFramesAndCaptionsInBothLanguages)
{
    Workspace workspace;
    auto form = workspace.start();
    auto* tare = control<QCheckBox>(*form, "Check1_2");
    QTest::mouseClick(tare, Qt::LeftButton, {}, QPoint(8, tare->height() / 2));
    EXPECT_EQ(lamp(*form, "Shape3_2"), Lamp::kGreen) << "the lamp follows at once";

    struct Case {
        int model;
        const char* frame4[2];
        const char* frame3[2]; // null: hidden
        std::string settled;
    };
    const Case cases[] = {
        {0, {"ZMR-1", "ЗМР-1"}, {"Service signals ZMR-1", "Сервисные сигналы ЗМР-1"}, "\x02 0000.0Gkg\r"},
        {1, {"ZMR-3", "ЗМР-3"}, {nullptr, nullptr}, "=0.00000"},
        {2, {"ZMR-5", "ЗМР-5"}, {"Service signals ZMR-5", "Сервисные сигналы ЗМР-5"}, "=0.0    G\r"},
    };
    for (const int language : {0, 1}) {
        trigger(*form, language == 0 ? "mnu_eng" : "mnu_rus");
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "model " << c.model << ", language " << language);
            control<QRadioButton>(*form, QStringLiteral("Option1_%1").arg(c.model))->click();
            EXPECT_EQ(captionOf(*form, "Frame4"), c.frame4[language]);
            EXPECT_EQ(control(*form, "Frame3")->isVisibleTo(form.get()), c.frame3[language] != nullptr);
            if (c.frame3[language]) { EXPECT_EQ(captionOf(*form, "Frame3"), c.frame3[language]); }
            EXPECT_EQ(settledFrame(*form), c.settled);
            EXPECT_EQ(control(*form, "Shape3_2")->isVisibleTo(form.get()), c.frame3[language] != nullptr);
            EXPECT_TRUE(tare->isChecked()) << "tare survives the trip through the model without signals";
        }
    }
    form->mnu_Exit_Click();
    EXPECT_EQ(form->settings().intTerminalModel, 2);
}

TEST(Form1Operator, EveryCaptionAndTheTitleInBothLanguagesFitAndTheChoiceIsSavedAtOnce)
{
    Workspace workspace;
    auto form = workspace.start();
    const QString head = QStringLiteral("Drelmonvask       Korvanteslin v.1.02               ");
    const QString titles[] = {head + "Today: December  5,  2026",
        head + "Сегодня: 5  Декабря  2026 года  " + QLocale().dayName(QDate(2026, 12, 5).dayOfWeek())};
    EXPECT_EQ(form->windowTitle(), titles[0]);
    for (const int language : {1, 0}) {
        SCOPED_TRACE(language);
        trigger(*form, language == 1 ? "mnu_rus" : "mnu_eng");
        EXPECT_EQ(form->windowTitle(), titles[language]);
        const QByteArray file = workspace.fileBytes();
        EXPECT_EQ(decodeSettings(std::span(reinterpret_cast<const std::uint8_t*>(file.constData()), 11500))->intLanguage,
            language);
        for (const CaptionRow& row : captionTable()) {
            const QString name = utf8(row.control);
            if (name == QLatin1String("Frame3") || name == QLatin1String("Frame4"))
                continue; // the model's captions, checked above
            EXPECT_EQ(captionOf(*form, name), utf8(language == 1 ? row.russian : row.english)) << name.toStdString();
            auto* widget = form->findChild<QWidget*>(name);
            EXPECT_TRUE(!widget || qobject_cast<QMenu*>(widget) || captionFits(widget)) << name.toStdString() << " is cut";
            // A line taller than its box loses the tails of g and p at the bottom.
            if (auto* label = qobject_cast<QLabel*>(widget); label && !label->wordWrap()) {
                EXPECT_LE(label->fontMetrics().height(), label->contentsRect().height()) << name.toStdString();
            }
        }
    }
}

TEST(Form1Operator, CycleModePlacesAndTakesOffWeightOneAndStopsAtTheMaximum)
{
    Workspace workspace;
    workspace.store([](SettingsRecord& r) {
        r.lngMaxCounter = 3;
        r.lngCycleCounter = 1; // carried from the last run, shown only once switched on
        r.intCycleOn = 1;      // never switches cycle mode on by itself
    });
    auto form = workspace.start();
    auto* label = control<QLabel>(*form, "Label22");
    auto* timer3 = form->findChild<QTimer*>(QStringLiteral("Timer3"));
    auto* cycle = control<QCheckBox>(*form, "Check2");
    EXPECT_FALSE(cycle->isChecked() || timer3->isActive());
    EXPECT_EQ(label->text(), "0");

    cycle->click();
    EXPECT_TRUE(timer3->isActive());
    EXPECT_EQ(label->text(), "1");
    timer3->stop(); // the test counts the seconds itself
    std::string loads;
    for (int second = 1; second <= 8; ++second) {
        form->Timer3_Timer();
        loads += lamp(*form, "Shape2_0") == Lamp::kGreen ? 'W' : '-';
    }
    // One action every 2 s: placed at 2, taken off at 4 (count 2), placed at 6, taken off at 8 (count 3).
    EXPECT_EQ(loads, "-WW--WW-");
    EXPECT_EQ(label->text(), "3");
    EXPECT_FALSE(timer3->isActive()) << "stopped at the maximum";
    EXPECT_TRUE(cycle->isChecked());
    form->mnu_Exit_Click();
    EXPECT_EQ(form->settings().lngCycleCounter, 3);
    EXPECT_EQ(form->settings().intCycleOn, 1);
}

TEST(Form1Operator, TheResultsFolderIsChosenWithinTheSizeLimitAndSavedAtOnce)
{
    Workspace workspace;
    auto form = workspace.start();
    trigger(*form, "mnu_Setting");
    EXPECT_TRUE(control(*form, "Basis_Frame1")->isVisibleTo(form.get()));
    EXPECT_EQ(text(*form, "Basis_Text1"), workspace.appFolder());

    const QString cyrillic = workspace.programFiles.path() + QStringLiteral("/Результаты");
    const QString fits = "/" + QString(496, 'r'), tooLong = fits + "r"; // 498 and 499 bytes with the separator
    QDir().mkpath(cyrillic);
    workspace.dialogs.folderAnswers = {cyrillic, QString(), tooLong, QStringLiteral("/"), fits};
    click(*form, "Basis_Command1");
    EXPECT_EQ(text(*form, "Basis_Text1"), cyrillic + "/");

    click(*form, "Basis_Command1"); // cancelled
    click(*form, "Basis_Command1"); // too long
    EXPECT_EQ(form->settings().strResultsFolder, (cyrillic + "/").toStdString());
    ASSERT_EQ(workspace.dialogs.messages.size(), 1);
    EXPECT_TRUE(workspace.dialogs.messages[0].contains("498"));

    EXPECT_EQ(workspace.savedRecord().strResultsFolder, (cyrillic + "/").toStdString()) << "saved at once";

    click(*form, "Basis_Command1");
    EXPECT_EQ(form->settings().strResultsFolder, "/") << "the root without a doubled separator";
    click(*form, "Basis_Command1");
    EXPECT_EQ(form->settings().strResultsFolder, (fits + "/").toStdString());
}
