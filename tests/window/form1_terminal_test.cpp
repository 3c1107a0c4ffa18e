#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "emulation/frame_builder.h"
#include "window/lamp.h"
#include "window_fixture.h"

using namespace korvanteslin;

namespace {

template <class T = QWidget>
T* control(Form1& form, const char* name)
{
    auto* found = form.findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QString text(Form1& form, const char* name)
{
    return control<QLineEdit>(form, name)->text();
}

void typeInto(Form1& form, const char* name, const QString& typed)
{
    QLineEdit* box = control<QLineEdit>(form, name);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, typed);
}

void click(Form1& form, const char* name)
{
    QTest::mouseClick(control<QPushButton>(form, name), Qt::LeftButton);
}

std::vector<uint> loadLamps(Form1& form)
{
    return {control<Lamp>(form, "Shape2_0")->color(), control<Lamp>(form, "Shape2_1")->color(),
        control<Lamp>(form, "Shape2_2")->color()};
}

// Frames until the swing has run out; the last one is the settled frame.
std::string settledFrame(Form1& form)
{
    std::string frame;
    for (int i = 0; i < 8; ++i)
        frame = form.BuildFrame();
    return frame;
}

constexpr uint kRed = Lamp::kRed;
constexpr uint kGreen = Lamp::kGreen;

} // namespace

TEST(Form1Terminal, StartUpShowsTheLoadsInTheStartFormatWithTheLoadTakenOff)
{
    Workspace workspace;
    auto form = workspace.start();
    EXPECT_EQ(text(*form, "Text2_0"), "11.1");
    EXPECT_EQ(text(*form, "Text2_1"), "-11.1");
    EXPECT_EQ(text(*form, "Text2_2"), "0.0");
    EXPECT_EQ(text(*form, "Text1_1"), "0.1");
    EXPECT_EQ(text(*form, "Text1_2"), "3");
    EXPECT_EQ(control<QComboBox>(*form, "Combo2")->currentText(), "###0.0");
    EXPECT_EQ(loadLamps(*form), (std::vector<uint>{kRed, kRed, kGreen}));

    // The take-off swing, then the settled zero frame with both signals on.
    const std::string first = form->BuildFrame();
    EXPECT_EQ(first.size(), 12u);
    EXPECT_EQ(first[8], '@') << "a swing step is neither stable nor zero";
    EXPECT_EQ(settledFrame(*form), std::string("\x02 0000.0Ckg\r"));
    EXPECT_TRUE(control<QCheckBox>(*form, "Check1_0")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(*form, "Check1_1")->isChecked());
}

TEST(Form1Terminal, TypedLoadsAndButtonsDriveTheFrames)
{
    Workspace workspace;
    auto form = workspace.start();

    typeInto(*form, "Text9_0", "12,345 kg");
    EXPECT_EQ(text(*form, "Text2_0"), "12.3");
    EXPECT_EQ(text(*form, "Text9_0"), "12,345 kg") << "the entry keeps what was typed";

    click(*form, "Command1");
    EXPECT_EQ(loadLamps(*form), (std::vector<uint>{kGreen, kRed, kRed}));
    EXPECT_EQ(settledFrame(*form), std::string("\x02 0012.3Bkg\r"));

    typeInto(*form, "Text9_1", "-99999");
    click(*form, "Command2");
    EXPECT_EQ(text(*form, "Text2_1"), "-9999.9");
    EXPECT_EQ(loadLamps(*form), (std::vector<uint>{kRed, kGreen, kRed}));
    EXPECT_EQ(settledFrame(*form), std::string("\x02-9999.9Bkg\r"));

    // A new pattern: two decimals from the next frame on, same frame length.
    auto* formats = control<QComboBox>(*form, "Combo2");
    formats->setCurrentIndex(2);
    emit formats->activated(2);
    EXPECT_EQ(text(*form, "Text2_1"), "-999.99");
    EXPECT_EQ(form->BuildFrame(), std::string("\x02-999.99Bkg\r"));

    // The operator's tare switch reaches the status byte.
    auto* tare = control<QCheckBox>(*form, "Check1_2");
    QTest::mouseClick(tare, Qt::LeftButton, {}, QPoint(8, tare->height() / 2));
    EXPECT_TRUE(tare->isChecked());
    EXPECT_EQ(form->BuildFrame(), std::string("\x02-999.99Fkg\r"));
}

TEST(Form1Terminal, ChangeAppliesTheOscillationBoxes)
{
    Workspace workspace;
    auto form = workspace.start();
    settledFrame(*form);
    typeInto(*form, "Text1_2", "0");
    click(*form, "Command5");
    click(*form, "Command1");
    EXPECT_EQ(form->BuildFrame(), std::string("\x02 0011.1Bkg\r")) << "no swing with a count of 0";
    EXPECT_EQ(text(*form, "Text1_2"), "0");

    form->mnu_Exit_Click();
    EXPECT_EQ(form->settings().intOscCount, 0) << "the new count is saved with the settings";
}

TEST(Form1Terminal, ACommaLocaleShowsCommasAndSendsPoints)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    Workspace workspace;
    auto form = workspace.start();
    QLocale::setDefault(QLocale::c());

    EXPECT_EQ(text(*form, "Text2_0"), "11,1");
    EXPECT_EQ(text(*form, "Text2_1"), "-11,1");
    EXPECT_EQ(text(*form, "Text1_1"), "0,1");
    click(*form, "Command1");
    EXPECT_EQ(settledFrame(*form), std::string("\x02 0011.1Bkg\r"));
    typeInto(*form, "Text9_0", "7.25");
    EXPECT_EQ(text(*form, "Text2_0"), "7,2");
}

TEST(Form1Terminal, TheSavedModelShapesTheFramesAndTheSignalLamps)
{
    struct Case {
        std::int16_t model;
        std::string settled;
        bool lampsVisible;
    };
    const Case cases[] = {
        {kZmr1, std::string("\x02 0000.0Ckg\r"), true},
        {kZmr3, "=0.00000", false},
        {kZmr5, "=0.0    C\r", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Workspace workspace;
        SettingsRecord stored = SetDefaultSettings(workspace.appFolder().toStdString(), kFifthOfDecember);
        stored.intTerminalModel = c.model;
        QDir().mkpath(workspace.appFolder());
        ASSERT_EQ(SaveSettings(workspace.settingsFile().toStdString(), stored), std::nullopt);
        auto form = workspace.start();
        EXPECT_EQ(settledFrame(*form), c.settled);
        EXPECT_EQ(control(*form, "Shape3_0")->isVisibleTo(form.get()), c.lampsVisible);
        EXPECT_EQ(control(*form, "Label10_3")->isVisibleTo(form.get()), c.lampsVisible);
    }
}
