// Start-up and the ends of a run: what is made, what is saved and when, what is left alone.
#include <QDirIterator>
#include <functional>

#include "shell/platform_paths.h"
#include "station_fixture.h"

using namespace korvanteslin;

TEST(StationLifecycle, AFirstRunMakesTheSettingsFileAndTheMonthsFolderAndALaterRunChangesNothing)
{
    RunFolder folder;
    const auto tree = [&] {
        QStringList entries;
        for (QDirIterator it(folder.programFiles.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                 QDirIterator::Subdirectories);
             it.hasNext();)
            entries << it.next();
        return entries;
    };
    folder.startRun().reset();
    EXPECT_TRUE(folder.said.isEmpty()) << folder.said.join('\n');
    EXPECT_EQ(QFileInfo(folder.settingsFile()).size(), 11500);
    EXPECT_TRUE(QFileInfo(folder.appFolder() + "2026/" + QString::fromStdString(systemMonthName(12))).isDir());
    const QStringList before = tree();
    const QByteArray bytes = folder.fileBytes();
    folder.startRun(false, {2026, 12, 5, 23, 59, 58})->mnu_Exit_Click();
    EXPECT_EQ(tree(), before);
    EXPECT_EQ(folder.fileBytes(), bytes) << "a later save keeps the created date and time";
}

TEST(StationLifecycle, EveryEndSavesOnceAndTheCloseSequenceClosesThePortFirst)
{
    const struct {
        const char* name;
        std::function<void(Station&)> end;
        int writesWhenPortClosed; // -1: the port is left to the end of the process
        int writes;
    } rows[] = {
        {"Exit", [](Station& run) { run.mnu_Exit_Click(); }, -1, 1},
        {"close", [](Station& run) { run.Form_Unload(); }, 0, 1},
        {"request to end", [](Station& run) { run.endOnRequest(); }, 0, 1},
        {"request to end after Exit", [](Station& run) { run.mnu_Exit_Click(); run.endOnRequest(); }, -1, 1},
        {"session end, then close", [](Station& run) { run.commitSessionData(); run.Form_Unload(); }, 1, 1},
        {"session end, cycle mode switched on, then close",
            [](Station& run) { run.commitSessionData(); run.switchCycle(true); run.Form_Unload(); }, 1, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RunFolder folder;
        auto run = folder.startRun();
        run->typeText1(0, "250");
        run->applyPeriod();
        WriteCounter counter(folder.settingsFile());
        int writesWhenPortClosed = -1;
        QObject::connect(&run->port(), &CommPort::openChanged, [&](bool open) {
            if (!open)
                writesWhenPortClosed = counter.writes();
        });
        row.end(*run);
        EXPECT_TRUE(run->hasEnded());
        EXPECT_EQ(writesWhenPortClosed, row.writesWhenPortClosed);
        EXPECT_EQ(counter.writes(), row.writes);
        EXPECT_EQ(folder.savedRecord().intSendPeriod, 250);
        EXPECT_EQ(folder.savedRecord().intCycleOn, row.writes - 1) << "what changed since the session's end";
    }
}

TEST(StationLifecycle, ASettingsFileReachedThroughALinkIsNeverWrittenInTheRun)
{
    RunFolder folder;
    QTemporaryDir outside;
    const QString elsewhere = outside.filePath("settings");
    SaveSettings(elsewhere.toStdString(), SetDefaultSettings("/elsewhere/", kFifthOfDecember));
    QFile::link(elsewhere, folder.settingsFile());
    const QByteArray target = folder.fileBytes();
    WriteCounter counter(folder.settingsFile());

    auto run = folder.startRun();
    ASSERT_EQ(folder.said.size(), 1);
    EXPECT_TRUE(folder.said[0].startsWith("The settings file " + folder.settingsFile())) << folder.said[0];
    EXPECT_EQ(run->settings(), SetDefaultSettings(folder.appFolder().toStdString(), kFifthOfDecember));
    EXPECT_TRUE(run->port().isOpen()) << "start-up goes on";
    // Every occasion that saves passes the file by, without a word.
    run->pickLanguage(1);
    run->chooseResultsFolder(folder.programFiles.path().toStdString());
    run->commitSessionData();
    run->endOnRequest();
    EXPECT_EQ(folder.said.size(), 1);
    EXPECT_EQ(counter.writes(), 0);
    EXPECT_EQ(QFileInfo(folder.settingsFile()).symLinkTarget(), elsewhere);
    EXPECT_EQ(folder.fileBytes(), target) << "nothing written where the link points";
}

TEST(StationLifecycle, ASecondRunOnTheSameDataFolderEndsAtOnceTouchingNothing)
{
    RunFolder folder;
    auto first = folder.startRun();
    WriteCounter counter(folder.settingsFile());
    Station second;
    second.setReporter([&](const QString& text) { folder.said << text; });
    EXPECT_FALSE(second.Form_Load());
    EXPECT_TRUE(second.hasEnded());
    ASSERT_EQ(folder.said.size(), 1);
    EXPECT_TRUE(folder.said[0].startsWith("The emulator is already running on the data folder " + folder.appFolder()));
    EXPECT_FALSE(second.port().isOpen());
    EXPECT_TRUE(first->port().isOpen());
    second.endOnRequest();
    EXPECT_EQ(counter.writes(), 0);
}

TEST(StationLifecycle, ARequestToEndWhileAStartUpMessageWaitsEndsTheStartUpThere)
{
    RunFolder folder;
    folder.store([&](SettingsRecord& r) { r.strResultsFolder = folder.programFiles.path().toStdString() + "/removed/"; });
    WriteCounter counter(folder.settingsFile());
    Station run;
    run.setReporter([&](const QString& text) {
        folder.said << text;
        run.endOnRequest(); // a SIGTERM while the message waits for its OK
    });
    EXPECT_TRUE(run.Form_Load());
    EXPECT_TRUE(run.hasEnded());
    EXPECT_EQ(folder.said.size(), 1);
    EXPECT_FALSE(run.port().isOpen()) << "the port is not opened after the close sequence";
    EXPECT_EQ(counter.writes(), 1);
}

// The wording is the shell's and the port's; here, that the run words everything in the stored language.
TEST(StationLifecycle, WhatTheRunSaysSpeaksTheStoredLanguage)
{
    RunFolder folder;
    folder.linkPort(5, folder.appFolder() + "nothing-there");
    const std::string gone = folder.programFiles.path().toStdString() + "/removed results/";
    folder.store([&](SettingsRecord& r) {
        r.strResultsFolder = gone;
        r.intLanguage = 1;
        r.intPortNumber = 5;
        r.strPortSettings = "9600,x,8,1";
    });
    auto run = folder.startRun();
    ASSERT_EQ(folder.said.size(), 2) << folder.said.join('\n');
    EXPECT_TRUE(folder.said[0].startsWith("Не удалось создать папку ")) << folder.said[0];
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(gone))) << "not re-made behind the operator's back";
    EXPECT_EQ(run->settings().strResultsFolder, gone) << "kept for when the folder is back";
    // Each failure of the port on a line of its own: a refused string does not hide a missing device.
    const QStringList port = folder.said[1].split('\n');
    ASSERT_EQ(port.size(), 2) << folder.said[1];
    EXPECT_TRUE(port[0].contains("«9600,x,8,1» — недопустимые параметры порта")) << port[0];
    EXPECT_TRUE(port[1].startsWith("COM5 (")) << port[1];

    QFile::remove(folder.settingsFile()); // something else takes the file's place while the run goes on
    QDir().mkpath(folder.settingsFile());
    run->Form_Unload();
    ASSERT_EQ(folder.said.size(), 3);
    EXPECT_TRUE(folder.said[2].startsWith("Не удалось сохранить настройки в файл " + folder.settingsFile())) << folder.said[2];
}

TEST(StationLifecycle, AFreshHomeWithoutADataLocationKeepsItsSettings)
{
    // With no data folder there is no COM2 link either: COM2 is /dev/ttyS1.
    if (QFileInfo::exists(QStringLiteral("/dev/ttyS1")))
        GTEST_SKIP() << "this machine has a /dev/ttyS1, which the test must not open";
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("ProgramFiles");
    QStringList said;
    {
        Station run;
        run.setReporter([&](const QString& text) { said << text; });
        run.Form_Load();
        run.Form_Unload();
    }
    EXPECT_EQ(QFileInfo(home.path() + "/.local/share/Korvanteslin v.1.02/Korvanteslin v.1.02.eng").size(), 11500);
    EXPECT_TRUE(said.filter("Korvanteslin v.1.02").isEmpty()) << said.join('\n');
    qputenv("HOME", savedHome);
}

// A run whose frames have other lines: a serial device that is not there is a
// plain note, in the interface language; anything else the port refuses is
// still a failure.
TEST(StationLifecycle, AMissingPortIsANoteWhenTheFramesHaveOtherLines)
{
    const struct {
        const char* settings;
        std::int16_t language;
        const char* said;
    } rows[] = {
        {"9600,n,8,1", 0, "COM5 ({device}) is not there: the frames go to the other lines, and to COM5 once it appears"},
        {"9600,n,8,1", 1, "COM5 ({device}) нет: посылки идут в другие линии, а в COM5 — как только он появится"},
        {"9600,x,8,1", 0, "\"9600,x,8,1\" is not a valid port setting"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said);
        RunFolder folder;
        folder.linkPort(5, folder.appFolder() + "nothing-there");
        folder.store([&](SettingsRecord& r) {
            r.intPortNumber = 5;
            r.strPortSettings = row.settings;
            r.intLanguage = row.language;
        });
        auto run = folder.startRun(false, kFifthOfDecember, true);
        ASSERT_EQ(folder.said.size(), 1) << folder.said.join('\n');
        const QString device = folder.appFolder() + "COM5 -> " + folder.appFolder() + "nothing-there";
        EXPECT_TRUE(folder.said[0].startsWith(QString::fromUtf8(row.said).replace("{device}", device))) << folder.said[0];
    }
}

// With other lines, a start-up failure of the port is told once the tick
// runs: their frames do not wait for the operator's OK.
TEST(StationLifecycle, AStartUpPortFailureIsToldOnceTheTickRunsWhenTheFramesHaveOtherLines)
{
    struct Other : FrameLine {
        bool writePiece(const FramePiece&) override { return true; }
    } other;
    for (const bool withOther : {false, true}) {
        SCOPED_TRACE(withOther ? "another line" : "the serial port alone");
        RunFolder folder;
        folder.linkPort(5, folder.appFolder() + "nothing-there");
        folder.store([](SettingsRecord& r) { r.intPortNumber = 5; });
        Station run;
        if (withOther)
            run.outlet().addLine(&other);
        int periodWhenTold = -1;
        run.setReporter([&](const QString&) { periodWhenTold = run.sendPeriod(); });
        run.Form_Load();
        EXPECT_EQ(periodWhenTold > 0, withOther) << periodWhenTold;
    }
}
