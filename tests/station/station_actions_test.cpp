// The operator's actions on a started run and the run's own events. The
// rules they apply are tested below: here, that the run applies them.
#include <QTest>

#include "bound_device.h"
#include "station_fixture.h"

using namespace korvanteslin;
using korvanteslin::test::PtyPair;

TEST(StationActions, AfterStartUpTheTickSendsTheTakeOffSwingThenTheSettledFrameOfTheStoredModel)
{
    RunFolder folder;
    folder.store([](SettingsRecord& r) {
        r.intTerminalModel = 2;
        r.intSendPeriod = 5;
    });
    auto run = folder.startRun(true);
    const QByteArray line = folder.line.read(60, 3000);
    ASSERT_GE(line.size(), 60);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(line.mid(i * 10, 10) == "=0.0    C\r", i >= 3) << "frame " << i;
}

TEST(StationActions, ThePeriodBoxIsReadAsANumberAndTheTimerAndTheBoxFollow)
{
    RunFolder folder;
    auto run = folder.startRun();
    for (const auto& [typed, period] : {std::pair{"1e3", 1000}, {"abc", 150}}) {
        run->typeText1(0, typed);
        run->applyPeriod();
        EXPECT_EQ(run->Text1[0], std::to_string(period));
        EXPECT_EQ(run->sendPeriod(), period);
        EXPECT_EQ(run->settings().intSendPeriod, period);
    }
}

TEST(StationActions, APickClosesThePortAndTheApplyStepReopensItWithTheBoxes)
{
    RunFolder folder;
    folder.linkPort(5, folder.appFolder() + "nothing-there");
    auto run = folder.startRun();
    unsigned shown = 0;
    QObject::connect(run.get(), &Station::changed, [&](unsigned what) { shown |= what; });
    const struct {
        int box;
        const char* text;
        bool open;
        QStringList said;
        int dataBitsKept; // in the record, for the next start-up
    } rows[] = {
        {1, "9600", true, {}, 8},                            // the same entry again
        {3, "9", true, {QStringLiteral("Недопустимо")}, 9}, // refused: the string in force stays, and the boxes show it
        {3, "8", true, {}, 8},
        {0, "5", false, {}, 8}, // no device: no message, frames wait for the line
        {0, "2", true, {}, 8},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        folder.said.clear();
        folder.line.read(1 << 16, 50); // whatever was sent so far
        run->typePortBox(std::size_t(row.box), QString::fromLatin1(row.text));
        shown = 0;
        run->pickPortBox(row.box);
        EXPECT_FALSE(run->port().isOpen());
        EXPECT_FALSE(shown & Station::PortChanged) << "the lamp keeps its colour until the apply step";
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown & Station::PortChanged; }, 2000));
        EXPECT_EQ(run->port().isOpen(), row.open);
        EXPECT_EQ(folder.said, row.said);
        EXPECT_EQ(run->settings().strPortSettings, "9600,n,8,1");
        EXPECT_EQ(run->settings().intPortNumber, run->Combo1[0].toInt()) << "kept even when the port refuses them";
        EXPECT_EQ(run->settings().intDataBits, row.dataBitsKept);
        EXPECT_EQ(run->Combo1[3], QStringLiteral("8")) << "the boxes show the line, nothing refused stays behind";
        run->tick();
        EXPECT_EQ(folder.line.read(12, row.open ? 2000 : 100).size(), row.open ? 12 : 0);
    }
    run->typePortBox(1, QStringLiteral("4800"));
    run->pickPortBox(1);
    run->Form_Unload();
    EXPECT_EQ(folder.savedRecord().lngBaudRate, 4800) << "a pick just before the close is kept";
}

TEST(StationActions, APickOntoAnotherDeviceSetsTheChoiceBeforeOpening)
{
    // COM3 counts as a real device that keeps 8 bits and no parity; COM2, a terminal, takes any framing.
    RunFolder folder;
    PtyPair adapter;
    test::BoundDevice device(adapter.slavePath(), folder.programFiles.path() + "/ttyBound");
    if (!device.skipReason().empty())
        GTEST_SKIP() << device.skipReason();
    folder.linkPort(3, device.path());
    folder.store([](SettingsRecord& r) { r.strPortSettings = "9600,e,7,1"; });
    auto run = folder.startRun();
    ASSERT_TRUE(run->port().isOpen());
    run->typePortBox(0, QStringLiteral("3"));
    run->typePortBox(2, QStringLiteral("n"));
    // 8 bits: tried on COM3 itself, not judged by COM2's settings; then 7, which COM3 cannot take.
    for (const auto& [bits, said] : {std::pair{"8", QStringList{}}, {"7", QStringList{QStringLiteral("Недопустимо")}}}) {
        run->typePortBox(3, QString::fromLatin1(bits));
        run->pickPortBox(0);
        run->applyPortBoxes();
        EXPECT_EQ(folder.said, said);
        EXPECT_TRUE(run->port().isOpen());
        EXPECT_EQ(run->settings().strPortSettings, "9600,n,8,1") << "the line goes on as it was";
    }
    run->tick();
    EXPECT_EQ(adapter.read(12, 2000).size(), 12);
}

TEST(StationActions, ALostLineShowsAndComesBackByItselfWithoutAWord)
{
    RunFolder folder;
    folder.store([](SettingsRecord& r) { r.intSendPeriod = 10; });
    auto run = folder.startRun(true);
    std::vector<bool> shown; // the port's state each time the run says it changed
    QObject::connect(run.get(), &Station::changed, [&](unsigned what) {
        if (what & Station::PortChanged)
            shown.push_back(run->port().isOpen());
    });
    ASSERT_GE(folder.line.read(12, 2000).size(), 12);
    folder.line.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown == std::vector{false}; }, 2000));
    PtyPair replacement;
    folder.linkPort(2, replacement.slavePath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown == std::vector{false, true}; }, 4000));
    EXPECT_GE(replacement.read(24, 2000).size(), 24);
    EXPECT_TRUE(folder.said.isEmpty()) << folder.said.join('\n');
}

TEST(StationActions, CycleModeRunsOnlyOnceSwitchedOnAndItsTickStopsAtTheMaximum)
{
    RunFolder folder;
    folder.store([](SettingsRecord& r) {
        r.lngMaxCounter = 3;
        r.intCycleOn = 1; // never switches cycle mode on by itself
    });
    auto run = folder.startRun();
    EXPECT_EQ(run->Text4, "3");
    EXPECT_FALSE(run->Check2 || run->Timer3.isActive());
    run->switchCycle(true);
    EXPECT_TRUE(run->Timer3.isActive());
    for (int second = 1; second <= 12; ++second)
        run->cycleTick();
    EXPECT_EQ(run->cycle().lngCycleCounter, 3);
    EXPECT_FALSE(run->Timer3.isActive()) << "stopped at the maximum";
    run->Form_Unload();
    EXPECT_EQ(folder.savedRecord().lngCycleCounter, 3);
}

TEST(StationActions, TheResultsFolderIsChosenWithinTheSizeLimitAndSavedAtOnceAsIsTheLanguage)
{
    RunFolder folder;
    auto run = folder.startRun();
    const std::string cyrillic = folder.programFiles.path().toStdString() + "/Результаты/";
    const std::string fits = "/" + std::string(496, 'r'); // 498 bytes with the separator
    const struct {
        std::string chosen, kept;
    } rows[] = {{cyrillic, cyrillic}, {"", cyrillic} /* cancelled */, {fits + "r", cyrillic}, {"/", "/"}, {fits, fits + "/"}};
    for (const auto& row : rows) {
        folder.said.clear();
        run->chooseResultsFolder(row.chosen);
        EXPECT_EQ(folder.savedRecord().strResultsFolder, row.kept) << row.chosen.size();
        EXPECT_EQ(folder.said.filter("498").size(), qsizetype(row.chosen == fits + "r")) << folder.said.join('\n');
    }
    // A save at once takes everything the run holds, not only what was just chosen.
    run->pickModel(2);
    run->typeText1(2, "6");
    run->applyOscillation();
    for (const int language : {1, 0}) {
        run->pickLanguage(language);
        const SettingsRecord saved = folder.savedRecord();
        EXPECT_EQ(saved.intLanguage, language);
        EXPECT_EQ(saved.intTerminalModel, 2);
        EXPECT_EQ(saved.intOscCount, 6);
    }
}

// A pull for a while: nothing on the line, then frames again by themselves.
TEST(StationActions, ACablePulledForAWhileIsPutBackByItself)
{
    RunFolder folder;
    folder.store([](SettingsRecord& r) { r.intSendPeriod = 5; });
    auto run = folder.startRun(true);
    ASSERT_FALSE(folder.line.read(12, 3000).isEmpty());
    run->plugCable(false, std::chrono::milliseconds(300));
    folder.line.read(1000, 50); // what left before the pull
    EXPECT_TRUE(folder.line.read(12, 150).isEmpty()) << "nothing leaves while it is out";
    EXPECT_FALSE(run->cablePlugged());
    EXPECT_GE(folder.line.read(12, 3000).size(), 12) << "back by itself";
    EXPECT_TRUE(run->cablePlugged());
}
