#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "shell/settings_file.h"
#include "window/lamp.h"
#include "window_fixture.h"

using namespace korvanteslin;
using korvanteslin::test::PtyPair;

namespace {

template <class T = QWidget>
T* control(Form1& form, const char* name)
{
    auto* found = form.findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

uint portLamp(Form1& form)
{
    return control<Lamp>(form, "Shape1")->color();
}

// A pick in a port box after typing `typed` into box `index` (nothing typed when empty).
void pick(Form1& form, int index, const QString& typed = {})
{
    auto* box = control<QComboBox>(form, QStringLiteral("Combo1_%1").arg(index).toLatin1().constData());
    if (!typed.isNull())
        box->setEditText(typed);
    emit box->activated(box->currentIndex());
}

bool waitForApply(Form1& form)
{
    auto* timer2 = form.findChild<QTimer*>(QStringLiteral("Timer2"));
    return QTest::qWaitFor([&] { return !timer2->isActive(); }, 2000);
}

// Splits what a ZMR-1 line carried into frames, each starting with STX.
std::vector<std::string> zmr1Frames(const QByteArray& bytes)
{
    std::vector<std::string> frames;
    for (const QByteArray& piece : bytes.split('\x02')) {
        if (!piece.isEmpty())
            frames.push_back("\x02" + piece.toStdString());
    }
    return frames;
}

} // namespace

TEST(Form1Transmission, AfterStartUpTheLineCarriesTheTakeOffSwingThenTheSettledFrame)
{
    struct Case {
        std::int16_t model;
        qsizetype frameLength;
        std::string settled;
    };
    const Case cases[] = {
        {0, 12, std::string("\x02 0000.0Ckg\r")},
        {1, 8, "=0.00000"},
        {2, 10, "=0.0    C\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Workspace workspace;
        workspace.store([&](SettingsRecord& r) {
            r.intTerminalModel = c.model;
            r.intSendPeriod = 5;
        });
        auto form = workspace.start(true);
        const QByteArray line = workspace.line.read(6 * c.frameLength, 3000).left(6 * c.frameLength);
        ASSERT_EQ(line.size(), 6 * c.frameLength);
        for (int i = 0; i < 3; ++i)
            EXPECT_NE(line.mid(i * c.frameLength, c.frameLength).toStdString(), c.settled) << "swing step " << i;
        EXPECT_EQ(line.mid(3 * c.frameLength, c.frameLength).toStdString(), c.settled);
        EXPECT_EQ(line.mid(5 * c.frameLength, c.frameLength).toStdString(), c.settled);
    }
}

TEST(Form1Transmission, EchoesAndStatusFollowEachTick)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    Workspace workspace;
    auto form = workspace.start();
    QLocale::setDefault(QLocale::c());

    auto* entry = control<QLineEdit>(*form, "Text9_0");
    entry->setText(QStringLiteral("12,5"));
    QTest::mouseClick(control<QPushButton>(*form, "Command1"), Qt::LeftButton);
    for (int i = 0; i < 5; ++i)
        form->Timer1_Timer();

    EXPECT_EQ(control<QLineEdit>(*form, "Text3")->text(), QStringLiteral("\x02 0012.5Bkg\r"));
    EXPECT_EQ(control<QLineEdit>(*form, "Text6")->text(), QStringLiteral(" 02 20 30 30 31 32 2E 35 42 6B 67 0D"));
    EXPECT_EQ(control<QLineEdit>(*form, "Text5")->text(), QStringLiteral("12,5"));
    EXPECT_EQ(control<QLabel>(*form, "Label18")->text(), QStringLiteral("2"));
    EXPECT_EQ(control<QLabel>(*form, "Label19")->text(), QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(control<QLabel>(*form, "Label12")->text(), QStringLiteral("0")) << "the fixture stopped the ticks";
    const QByteArray line = workspace.line.read(5 * 12, 2000);
    EXPECT_EQ(line.right(12), QByteArray("\x02 0012.5Bkg\r"));
}

TEST(Form1Transmission, ThePeriodBoxTakesWholeNumbersInSixteenBits)
{
    struct Case {
        const char* typed;
        int period;
    };
    const Case cases[] = {{"0", 150}, {"abc", 150}, {"32768", 150}, {"-5", 150}, {"", 150},
        {"32767", 32767}, {"2.9", 2}, {"1", 1}, {"inf", 150}, {"1e3", 1000}};
    Workspace workspace;
    auto form = workspace.start();
    auto* box = control<QLineEdit>(*form, "Text1_0");
    EXPECT_EQ(box->text(), "150");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        box->setText(QLatin1String(c.typed));
        QTest::mouseClick(control<QPushButton>(*form, "Command4"), Qt::LeftButton);
        EXPECT_EQ(box->text(), QString::number(c.period));
        EXPECT_EQ(form->findChild<FrameTimer*>(QStringLiteral("Timer1"))->interval(), c.period);
        form->Timer1_Timer();
        // At short periods the echoes catch up within a screen refresh, not at once.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return control<QLabel>(*form, "Label12")->text() == QString::number(c.period); }, 1000));
        EXPECT_EQ(form->settings().intSendPeriod, c.period);
    }
}

TEST(Form1Transmission, APickReopensThePortWithTheBoxes)
{
    Workspace workspace;
    auto form = workspace.start();
    ASSERT_TRUE(form->port().isOpen());

    // The same entry again: closed at once, lamp unchanged, re-opened by the apply step.
    pick(*form, 1);
    EXPECT_FALSE(form->port().isOpen());
    EXPECT_EQ(portLamp(*form), Lamp::kGreen);
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_TRUE(form->port().isOpen());
    EXPECT_EQ(portLamp(*form), Lamp::kGreen);
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty());

    // 9 data bits typed by hand: refused, the previous string stays and the port opens with it.
    control<QComboBox>(*form, "Combo1_3")->setEditText("9");
    pick(*form, 2);
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(workspace.dialogs.messages, QStringList{QStringLiteral("Недопустимо")});
    EXPECT_TRUE(form->port().isOpen());
    EXPECT_EQ(portLamp(*form), Lamp::kGreen);
    EXPECT_EQ(form->settings().strPortSettings, "9600,n,8,1");
    EXPECT_EQ(form->settings().intDataBits, 9);

    // Not a whole number: refused the same way, the stored values stay.
    workspace.dialogs.messages.clear();
    control<QComboBox>(*form, "Combo1_3")->setEditText("8");
    pick(*form, 1, QStringLiteral("fast"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(workspace.dialogs.messages, QStringList{QStringLiteral("Недопустимо")});
    EXPECT_EQ(form->settings().lngBaudRate, 9600);
    EXPECT_TRUE(form->port().isOpen());

    // A new rate that the port takes.
    workspace.dialogs.messages.clear();
    pick(*form, 1, QStringLiteral("19200"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty());
    EXPECT_EQ(form->settings().strPortSettings, "19200,n,8,1");
    EXPECT_EQ(form->settings().lngBaudRate, 19200);
    form->Timer1_Timer();
    EXPECT_EQ(control<QLabel>(*form, "Label19")->text(), QStringLiteral("19200,n,8,1"));
}

TEST(Form1Transmission, AMissingPortTurnsTheLampRedQuietlyAndFramesWaitForTheLine)
{
    Workspace workspace;
    workspace.linkPort(5, workspace.appFolder() + "nothing-there");
    auto form = workspace.start();
    workspace.line.read(1 << 16, 50); // whatever start-up sent

    pick(*form, 0, QStringLiteral("5"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty());
    EXPECT_EQ(portLamp(*form), Lamp::kRed);
    EXPECT_EQ(form->settings().intPortNumber, 5);

    form->Timer1_Timer();
    EXPECT_FALSE(control<QLineEdit>(*form, "Text3")->text().isEmpty()) << "frames are still built and shown";
    EXPECT_TRUE(workspace.line.read(1, 100).isEmpty());

    pick(*form, 0, QStringLiteral("2"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(portLamp(*form), Lamp::kGreen);
    form->Timer1_Timer();
    EXPECT_EQ(workspace.line.read(12, 2000).size(), 12);

    // A number the port will not take at all is refused like any other bad choice.
    pick(*form, 0, QStringLiteral("0"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(workspace.dialogs.messages, QStringList{QStringLiteral("Недопустимо")});
    EXPECT_EQ(form->settings().intPortNumber, 2);
    EXPECT_TRUE(form->port().isOpen());
}

TEST(Form1Transmission, ALostLineTurnsTheLampRedAndComesBackByItself)
{
    Workspace workspace;
    workspace.store([](SettingsRecord& r) { r.intSendPeriod = 10; });
    auto form = workspace.start(true);
    ASSERT_GE(workspace.line.read(12, 2000).size(), 12);

    workspace.line.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portLamp(*form) == Lamp::kRed; }, 2000));
    auto* tare = control<QCheckBox>(*form, "Check1_2");
    tare->click(); // the next echoed frame carries the tare bit: frames are still being built
    EXPECT_TRUE(QTest::qWaitFor([&] { return control<QLineEdit>(*form, "Text6")->text().endsWith("6B 67 0D")
                                             && control<QLineEdit>(*form, "Text6")->text().contains(" 47 "); }, 2000));

    PtyPair replacement;
    workspace.linkPort(2, replacement.slavePath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return portLamp(*form) == Lamp::kGreen; }, 4000));
    const QByteArray resumed = replacement.read(24, 2000);
    ASSERT_GE(resumed.size(), 24);
    for (const std::string& frame : zmr1Frames(resumed))
        EXPECT_EQ(frame.size(), 12u) << "whole frames only";
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty()) << "no message for a line that comes and goes";
}
