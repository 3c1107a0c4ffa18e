#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QLocale>
#include <QMenu>
#include <QRadioButton>
#include <QTest>

#include "shell/captions.h"
#include "shell/settings_file.h"
#include "window/caption_fit.h"
#include "window/lamp.h"
#include "window_fixture.h"

using namespace korvanteslin;

namespace {

template <class T = QWidget>
T* control(Form1& form, const QString& name)
{
    auto* found = form.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

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

std::int16_t storedLanguage(const Workspace& workspace)
{
    QFile file(workspace.settingsFile());
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    const auto record = decodeSettings(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
    return record ? record->intLanguage : -1;
}

void trigger(Form1& form, const char* action)
{
    control<QAction>(form, QLatin1String(action))->trigger();
}

std::string settled(Form1& form)
{
    std::string frame;
    for (int i = 0; i < 8; ++i)
        frame = form.BuildFrame();
    return frame;
}

} // namespace

TEST(Form1Operator, EveryCaptionInBothLanguagesFitsItsBoxAndTheChoiceIsSavedAtOnce)
{
    Workspace workspace;
    auto form = workspace.start();
    for (const int language : {1, 0}) {
        SCOPED_TRACE(language);
        trigger(*form, language == 1 ? "mnu_rus" : "mnu_eng");
        EXPECT_EQ(storedLanguage(workspace), language);
        for (const CaptionRow& row : captionTable()) {
            const QString name = utf8(row.control);
            if (name == QLatin1String("Frame3") || name == QLatin1String("Frame4"))
                continue; // the model's captions follow, checked below
            EXPECT_EQ(captionOf(*form, name), utf8(language == 1 ? row.russian : row.english)) << name.toStdString();
            if (auto* widget = form->findChild<QWidget*>(name); widget && !qobject_cast<QMenu*>(widget)) {
                EXPECT_TRUE(captionFits(widget)) << name.toStdString() << " is cut";
            }
        }
        EXPECT_EQ(captionOf(*form, "Frame3"), language == 1 ? QStringLiteral("Сервисные сигналы ЗМР-1") : QStringLiteral("Service signals ZMR-1"));
        // Texts that no language touches.
        EXPECT_EQ(captionOf(*form, "mnu_rus"), "rus");
        EXPECT_EQ(captionOf(*form, "Label1_0"), QStringLiteral("СOM"));
        EXPECT_EQ(captionOf(*form, "Label10_3"), " Max");
    }
}

TEST(Form1Operator, TheTitleCarriesTodayInEachLanguagesForm)
{
    Workspace workspace;
    auto form = workspace.start();
    const QString weekday = QLocale().dayName(QDate(2026, 12, 5).dayOfWeek(), QLocale::LongFormat);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Drelmonvask       Korvanteslin v.1.02               Today: December  5,  2026"));
    trigger(*form, "mnu_rus");
    EXPECT_EQ(form->windowTitle(),
        QStringLiteral("Drelmonvask       Korvanteslin v.1.02               Сегодня: 5  Декабря  2026 года  ") + weekday);
}

TEST(Form1Operator, AnUnknownStoredLanguageLeavesCaptionsAloneAndModelCaptionsRussian)
{
    Workspace workspace;
    workspace.store([](SettingsRecord& r) {
        r.intLanguage = 7;
        r.intTerminalModel = 2;
    });
    auto form = workspace.start();
    EXPECT_EQ(captionOf(*form, "Command3"), "Take off") << "the window's own caption stays";
    EXPECT_EQ(form->windowTitle(), "Korvanteslin");
    EXPECT_EQ(captionOf(*form, "Frame4"), QStringLiteral("ЗМР-5"));
    EXPECT_EQ(captionOf(*form, "Frame3"), QStringLiteral("Сервисные сигналы ЗМР-5"));
    EXPECT_TRUE(control<QRadioButton>(*form, "Option1_2")->isChecked());
}

TEST(Form1Operator, ModelAndSignalsShapeTheNextFrame)
{
    Workspace workspace;
    auto form = workspace.start();
    auto* tare = control<QCheckBox>(*form, "Check1_2");
    tare->click();
    EXPECT_EQ(control<Lamp>(*form, "Shape3_2")->color(), Lamp::kGreen) << "the lamp follows at once";
    EXPECT_EQ(settled(*form), std::string("\x02 0000.0Gkg\r"));

    control<QRadioButton>(*form, "Option1_1")->click();
    EXPECT_FALSE(control(*form, "Frame3")->isVisibleTo(form.get()));
    EXPECT_EQ(captionOf(*form, "Frame4"), "ZMR-3");
    EXPECT_EQ(form->BuildFrame(), "=0.00000");
    EXPECT_FALSE(control(*form, "Shape3_2")->isVisibleTo(form.get()));

    control<QRadioButton>(*form, "Option1_2")->click();
    EXPECT_TRUE(control(*form, "Frame3")->isVisibleTo(form.get()));
    EXPECT_EQ(captionOf(*form, "Frame3"), "Service signals ZMR-5");
    EXPECT_TRUE(tare->isChecked()) << "tare survives the trip through the model without signals";
    EXPECT_EQ(form->BuildFrame(), "=0.0    G\r");

    // "Zero weight" ticked by hand under a settled load lasts until the next frame.
    control<QPushButton>(*form, QStringLiteral("Command1"))->click();
    settled(*form);
    auto* zero = control<QCheckBox>(*form, "Check1_0");
    zero->click();
    EXPECT_EQ(control<Lamp>(*form, "Shape3_0")->color(), Lamp::kGreen);
    EXPECT_EQ(form->BuildFrame(), "=1.11   F\r");
    EXPECT_FALSE(zero->isChecked());
    EXPECT_EQ(control<Lamp>(*form, "Shape3_0")->color(), Lamp::kWindowBackground);

    form->mnu_Exit_Click();
    EXPECT_EQ(form->settings().intTerminalModel, 2);
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
    auto* lampWeight1 = control<Lamp>(*form, "Shape2_0");
    EXPECT_FALSE(control<QCheckBox>(*form, "Check2")->isChecked());
    EXPECT_FALSE(timer3->isActive());
    EXPECT_EQ(label->text(), "0");

    control<QCheckBox>(*form, "Check2")->click();
    EXPECT_TRUE(timer3->isActive());
    EXPECT_EQ(label->text(), "1");
    timer3->stop(); // the test counts the seconds itself

    std::string loads;
    for (int second = 1; second <= 8; ++second) {
        form->Timer3_Timer();
        loads += lampWeight1->color() == Lamp::kGreen ? 'W' : '-';
    }
    // One action every 2 s: placed at 2, taken off at 4 (count 2), placed at 6, taken off at 8 (count 3).
    EXPECT_EQ(loads, "-WW--WW-");
    EXPECT_EQ(label->text(), "3");
    EXPECT_FALSE(timer3->isActive()) << "stopped at the maximum";
    EXPECT_TRUE(control<QCheckBox>(*form, "Check2")->isChecked());

    control<QCheckBox>(*form, "Check2")->click();
    EXPECT_FALSE(label->isVisibleTo(form.get()));
    form->mnu_Exit_Click();
    EXPECT_EQ(form->settings().lngCycleCounter, 0);
    EXPECT_EQ(form->settings().intCycleOn, 0);
}

TEST(Form1Operator, TheResultsFolderIsChosenAndSavedAtOnce)
{
    Workspace workspace;
    auto form = workspace.start();
    auto* panel = control(*form, "Basis_Frame1");
    trigger(*form, "mnu_Setting");
    EXPECT_TRUE(panel->isVisibleTo(form.get()));
    EXPECT_EQ(control<QLineEdit>(*form, "Basis_Text1")->text(), workspace.appFolder());

    const QString cyrillic = workspace.programFiles.path() + QStringLiteral("/Результаты");
    QDir().mkpath(cyrillic);
    workspace.dialogs.folderAnswers = {cyrillic, QString(), QStringLiteral("/")};
    trigger(*form, "mnu_rus");
    control<QPushButton>(*form, QStringLiteral("Basis_Command1"))->click();
    EXPECT_EQ(workspace.dialogs.folderTitles.value(0), QStringLiteral("Выберите директорию для хранения результата:"));
    EXPECT_EQ(control<QLineEdit>(*form, "Basis_Text1")->text(), cyrillic + "/");

    control<QPushButton>(*form, QStringLiteral("Basis_Command1"))->click(); // cancelled
    EXPECT_EQ(form->settings().strResultsFolder, (cyrillic + "/").toStdString());

    // Saved at once: the next start makes its year and month folders there.
    auto next = workspace.start();
    EXPECT_EQ(next->settings().strResultsFolder, (cyrillic + "/").toStdString());
    EXPECT_TRUE(QFileInfo(cyrillic + "/2026").isDir());

    control<QPushButton>(*form, QStringLiteral("Basis_Command1"))->click(); // the root
    EXPECT_EQ(form->settings().strResultsFolder, "/");
    trigger(*form, "mnu_Setting");
    EXPECT_FALSE(panel->isVisibleTo(form.get()));
}
