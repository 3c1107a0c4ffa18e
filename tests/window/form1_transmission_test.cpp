#include "bound_device.h"
#include "window_fixture.h"

#include <functional>

using namespace korvanteslin;
using korvanteslin::test::PtyPair;

namespace {

// A pick from the list of port box `index`: `entry`, or the entry the box shows.
void pick(Form1& form, int index, const QString& entry = {})
{
    auto* box = control<QComboBox>(form, QStringLiteral("Combo1_%1").arg(index));
    pickFromList(box, entry.isNull() ? box->currentText() : entry);
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

// The rule itself is the emulation's; here, that the box is read as a number and the timer follows.
TEST(Form1Transmission, ThePeriodBoxSetsTheTimer)
{
    const std::pair<const char*, int> cases[] = {{"abc", 150}, {"1e3", 1000}};
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

TEST(Form1Transmission, TypedTextNeverAppliesAPortBoxOnlyAPickFromItsListDoes)
{
    Workspace workspace;
    auto form = workspace.start();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* rates = control<QComboBox>(*form, "Combo1_1");
    auto* timer2 = form->findChild<QTimer*>(QStringLiteral("Timer2"));

    // Text that matches an entry, or starts one, then the ways typing ends.
    const struct {
        const char* typed;
        std::function<void()> leave;
        const char* way;
    } rows[] = {
        {"4800", [&] { QTest::keyClick(rates, Qt::Key_Return); }, "Enter"},
        {"4800", [&] { QTest::keyClick(rates, Qt::Key_Tab); }, "Tab"},
        {"4800", [&] { QTest::mouseClick(control(*form, "Text9_0"), Qt::LeftButton); }, "a click elsewhere"},
        {"57", [&] { QTest::keyClick(rates, Qt::Key_Return); }, "Enter after a prefix of 57600"},
        {"4800",
            [&] {
                rates->showPopup();
                QTest::keyClick(rates->view(), Qt::Key_Escape);
                ASSERT_FALSE(rates->view()->isVisible());
                QTest::keyClick(rates, Qt::Key_Return);
            },
            "Enter after the list was opened and dismissed"},
        {"9", [&] { QTest::keyClick(control<QComboBox>(*form, "Combo1_3"), Qt::Key_Return); }, "Enter on data bits"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.way);
        auto* box = row.way == std::string("Enter on data bits") ? control<QComboBox>(*form, "Combo1_3") : rates;
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(row.typed));
        row.leave();
        EXPECT_EQ(box->currentText(), QString::fromLatin1(row.typed)) << "what was typed stays as typed";
        EXPECT_FALSE(timer2->isActive());
        EXPECT_TRUE(form->port().isOpen());
        EXPECT_EQ(form->settings().lngBaudRate, 9600);
        EXPECT_EQ(box->count(), box == rates ? 13 : 4) << "typed text never joins the list";
        box->setEditText(box == rates ? QStringLiteral("9600") : QStringLiteral("8"));
    }

    pickFromList(rates, QStringLiteral("4800"));
    EXPECT_TRUE(timer2->isActive());
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(form->settings().lngBaudRate, 4800);
    EXPECT_EQ(form->settings().strPortSettings, "4800,n,8,1");
    EXPECT_TRUE(form->port().isOpen());

    // Nor does a turn of the wheel passing over a drop-down change it.
    auto* formats = control<QComboBox>(*form, "Combo2");
    QWheelEvent turn(QPointF(5, 5), formats->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton, {},
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(formats, &turn);
    EXPECT_EQ(formats->currentIndex(), 1);
}

TEST(Form1Transmission, StartUpNamesEveryPortFailureInTheInterfaceLanguage)
{
    const struct {
        std::int16_t language;
        const char* refusedString;
        const char* missingDevice;
        const char* linked;
    } rows[] = {
        {0, "\"9600,x,8,1\" is not a valid port setting", "nothing-there): no such device",
            "(linked in the data folder)"},
        {1, "«9600,x,8,1» — недопустимые параметры порта", "nothing-there): нет такого устройства",
            "(ссылка в папке данных)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.language);
        Workspace workspace;
        workspace.linkPort(5, workspace.appFolder() + "nothing-there");
        workspace.store([&](SettingsRecord& r) {
            r.intLanguage = row.language;
            r.intPortNumber = 5;
            r.strPortSettings = "9600,x,8,1";
        });
        auto form = workspace.start();
        ASSERT_EQ(workspace.dialogs.messages.size(), 1);
        const QStringList failures = workspace.dialogs.messages[0].split('\n');
        ASSERT_EQ(failures.size(), 2) << workspace.dialogs.messages[0].toStdString();
        EXPECT_TRUE(failures[0].contains(QString::fromUtf8(row.refusedString))) << failures[0].toStdString();
        EXPECT_TRUE(failures[1].startsWith(QStringLiteral("COM5 ("))) << failures[1].toStdString();
        EXPECT_TRUE(failures[1].endsWith(QString::fromUtf8(row.missingDevice))) << failures[1].toStdString();
        EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kRed);
        EXPECT_EQ(control<QComboBox>(*form, "Combo1_0")->currentText(), "5");
        EXPECT_TRUE(control(*form, "Combo1_0")->toolTip().contains(QString::fromUtf8(row.linked)));
    }

    // The other language at run time: the port map and the port's own words follow.
    Workspace workspace;
    auto form = workspace.start();
    form->mnu_rus_Click();
    EXPECT_TRUE(control(*form, "Combo1_0")->toolTip().contains(QStringLiteral("(ссылка в папке данных)")));
    form->port().close();
    EXPECT_FALSE(form->port().output("frame"));
    EXPECT_EQ(form->port().lastError(), QStringLiteral("COM2 не открыт"));
    form->mnu_eng_Click();
    EXPECT_FALSE(form->port().output("frame"));
    EXPECT_EQ(form->port().lastError(), QStringLiteral("COM2 is not open"));
}

TEST(Form1Transmission, APickOntoAnotherDeviceSetsTheChoiceBeforeOpening)
{
    // COM3 counts as a real device that keeps 8 bits and no parity.
    Workspace workspace;
    PtyPair adapter;
    test::BoundDevice device(adapter.slavePath(), workspace.programFiles.path() + "/ttyBound");
    if (!device.skipReason().empty())
        GTEST_SKIP() << device.skipReason();
    workspace.linkPort(3, device.path());
    workspace.store([](SettingsRecord& r) { r.strPortSettings = "9600,e,7,1"; });
    auto form = workspace.start();
    ASSERT_EQ(lamp(*form, "Shape1"), Lamp::kGreen) << "COM2 is a terminal: it takes any framing";

    // 8 bits, no parity, onto COM3: tried on COM3 itself, not judged by the settings of COM2.
    control<QComboBox>(*form, "Combo1_2")->setEditText("n");
    control<QComboBox>(*form, "Combo1_3")->setEditText("8");
    pick(*form, 0, QStringLiteral("3"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty()) << workspace.dialogs.messages.join('\n').toStdString();
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kGreen);
    EXPECT_EQ(form->settings().strPortSettings, "9600,n,8,1");

    // 7 bits, which COM3 cannot take: refused like a bad string, the line goes on as it was.
    pick(*form, 3, QStringLiteral("7"));
    ASSERT_TRUE(waitForApply(*form));
    EXPECT_EQ(workspace.dialogs.messages, QStringList{QStringLiteral("Недопустимо")});
    EXPECT_EQ(lamp(*form, "Shape1"), Lamp::kGreen);
    EXPECT_EQ(form->settings().strPortSettings, "9600,n,8,1");
    EXPECT_EQ(form->settings().intDataBits, 7);
    form->Timer1_Timer();
    EXPECT_EQ(adapter.read(12, 2000).size(), 12);
}
