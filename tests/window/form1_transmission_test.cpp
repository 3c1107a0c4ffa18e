#include "window_fixture.h"

using namespace korvanteslin;
using korvanteslin::test::PtyPair;

namespace {

// A pick in port box `index` after typing `typed` into it (nothing typed when null).
void pick(Form1& form, int index, const QString& typed = {})
{
    auto* box = control<QComboBox>(form, QStringLiteral("Combo1_%1").arg(index));
    if (!typed.isNull())
        box->setEditText(typed);
    emit box->activated(box->currentIndex());
}

bool waitForApply(Form1& form)
{
    auto* timer2 = form.findChild<QTimer*>(QStringLiteral("Timer2"));
    return QTest::qWaitFor([&] { return !timer2->isActive(); }, 2000);
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
        const QByteArray line = workspace.line.read(6 * c.frameLength, 3000);
        ASSERT_GE(line.size(), 6 * c.frameLength);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(line.mid(i * c.frameLength, c.frameLength).toStdString() == c.settled, i >= 3) << "frame " << i;
    }
}

TEST(Form1Transmission, ThePeriodBoxTakesWholeNumbersInSixteenBits)
{
    const std::pair<const char*, int> cases[] = {
        {"0", 150}, {"abc", 150}, {"32768", 150}, {"-5", 150}, {"32767", 32767}, {"2.9", 2}, {"1e3", 1000}};
    Workspace workspace;
    auto form = workspace.start();
    EXPECT_EQ(text(*form, "Text1_0"), "150");
    for (const auto& [typed, period] : cases) {
        SCOPED_TRACE(typed);
        control<QLineEdit>(*form, "Text1_0")->setText(QLatin1String(typed));
        click(*form, "Command4");
        EXPECT_EQ(text(*form, "Text1_0"), QString::number(period));
        EXPECT_EQ(form->findChild<FrameTimer*>(QStringLiteral("Timer1"))->interval(), period);
        form->Timer1_Timer();
        // At short periods the echoes catch up within a screen refresh, not at once.
        EXPECT_TRUE(QTest::qWaitFor([&] { return control<QLabel>(*form, "Label12")->text() == QString::number(period); }, 1000));
        EXPECT_EQ(form->settings().intSendPeriod, period);
    }
}

TEST(Form1Transmission, APickReopensThePortWithTheBoxes)
{
    Workspace workspace;
    workspace.linkPort(5, workspace.appFolder() + "nothing-there");
    auto form = workspace.start();

    // The same entry again: closed at once, lamp unchanged, re-opened by the apply step.
    pick(*form, 1);
    EXPECT_FALSE(form->port().isOpen());
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kGreen);
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_TRUE(form->port().isOpen());
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty());

    // 9 data bits typed by hand: refused, the previous string stays and the port opens with it.
    control<QComboBox>(*form, "Combo1_3")->setEditText("9");
    pick(*form, 2);
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(workspace.dialogs.messages, QStringList{QStringLiteral("Недопустимо")});
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kGreen);
    EXPECT_EQ(form->settings().strPortSettings, "9600,n,8,1");
    EXPECT_EQ(form->settings().intDataBits, 9);

    // A port number with no device: the lamp turns red without a message, frames wait for the line.
    workspace.dialogs.messages.clear();
    control<QComboBox>(*form, "Combo1_3")->setEditText("8");
    workspace.line.read(1 << 16, 50); // whatever was sent so far
    pick(*form, 0, QStringLiteral("5"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty());
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kRed);
    EXPECT_EQ(form->settings().intPortNumber, 5);
    form->Timer1_Timer();
    EXPECT_TRUE(workspace.line.read(1, 100).isEmpty());

    pick(*form, 0, QStringLiteral("2"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kGreen);
    form->Timer1_Timer();
    EXPECT_EQ(workspace.line.read(12, 2000).size(), 12);
}

TEST(Form1Transmission, ALostLineTurnsTheLampRedAndComesBackByItself)
{
    Workspace workspace;
    workspace.store([](SettingsRecord& r) { r.intSendPeriod = 10; });
    auto form = workspace.start(true);
    ASSERT_GE(workspace.line.read(12, 2000).size(), 12);

    workspace.line.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lamp(*form, "Shape1") == Lamp::kRed; }, 2000));
    PtyPair replacement;
    workspace.linkPort(2, replacement.slavePath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return lamp(*form, "Shape1") == Lamp::kGreen; }, 4000));
    const QByteArray resumed = replacement.read(24, 2000);
    ASSERT_GE(resumed.size(), 24);
    EXPECT_EQ(resumed[0], '\x02');
    for (const QByteArray& frame : resumed.split('\x02').mid(1))
        EXPECT_EQ(frame.size(), 11) << "whole frames only";
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty()) << "no message for a line that comes and goes";
}

TEST(Form1Transmission, DropDownsChangeOnlyByAPick)
{
    Workspace workspace;
    auto form = workspace.start();
    auto* dataBits = control<QComboBox>(*form, "Combo1_3");
    dataBits->setEditText("9");
    QTest::keyClick(dataBits->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(dataBits->count(), 4) << "typed text never joins the list";
    EXPECT_TRUE(form->port().isOpen()) << "typing alone does not re-open the port";

    auto* formats = control<QComboBox>(*form, "Combo2");
    QWheelEvent turn(QPointF(5, 5), formats->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton, {},
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(formats, &turn);
    EXPECT_EQ(formats->currentIndex(), 1);
}
