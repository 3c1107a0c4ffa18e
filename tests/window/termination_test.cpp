// The real program told to end from outside: shutdown or kill (SIGTERM),
// Ctrl+C in its terminal (SIGINT), its terminal closed (SIGHUP). The order of
// the close sequence is the run's, tested there.
#include <signal.h>

#include "file_bytes.h"
#include "pty_pair.h"
#include "program_run.h"
#include "station_fixture.h"

using namespace korvanteslin;

TEST(Termination, EachSignalEndsTheProgramNormallyAndSavesWhatChangedOnce)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        test::Scratch scratch;
        test::PtyPair line;
        scratch.linkCom2(line.slavePath());
        // Cycle values the boxes do not accept: start-up puts the boxes'
        // defaults in the record, which only the end of the run writes back.
        const std::string file = scratch.settingsFile().toStdString();
        SettingsRecord stored = SetDefaultSettings(scratch.appFolder().toStdString(), localNow());
        stored.lngMaxCounter = 0;
        stored.lngCyclePeriod = 0;
        ASSERT_EQ(SaveSettings(file, stored), std::nullopt);

        test::Program program(scratch, {});
        ASSERT_FALSE(line.read(1, 60000).isEmpty()) << "the program never sent a frame";
        EXPECT_EQ(test::readAll(file), encodeSettings(stored)) << "nothing saved while it runs";
        WriteCounter counter(scratch.settingsFile());
        ::kill(pid_t(program.process.processId()), signal);
        ASSERT_TRUE(program.ends(60000)) << "still running";
        EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process.exitCode(), 0);
        EXPECT_EQ(counter.writes(), 1);
        const auto saved = decodeSettings(test::readAll(file));
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->lngMaxCounter, 100);
        EXPECT_EQ(saved->lngCyclePeriod, 2);
    }
}
