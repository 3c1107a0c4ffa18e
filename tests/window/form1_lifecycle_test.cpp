#include "shell/platform_paths.h"
#include "window_fixture.h"

using namespace korvanteslin;

TEST(Form1Lifecycle, FirstRunCreatesTheSettingsFileAndResultsFoldersAndASecondRunNothing)
{
    Workspace workspace;
    const auto tree = [&] {
        QStringList entries;
        for (QDirIterator it(workspace.programFiles.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                 QDirIterator::Subdirectories);
             it.hasNext();)
            entries << it.next();
        return entries;
    };
    {
        auto form = workspace.start();
        EXPECT_TRUE(workspace.dialogs.messages.isEmpty()) << workspace.dialogs.messages.join('\n').toStdString();
        EXPECT_EQ(QFileInfo(workspace.settingsFile()).size(), 11500);
        const QString month = workspace.appFolder() + "2026/" + QString::fromStdString(systemMonthName(12));
        EXPECT_TRUE(QFileInfo(month).isDir()) << month.toStdString();
    }
    const QStringList before = tree();
    const QByteArray bytes = workspace.fileBytes();
    auto form = workspace.start(false, {2026, 12, 5, 23, 59, 58});
    EXPECT_EQ(tree(), before);
    EXPECT_EQ(workspace.fileBytes(), bytes);
    form->mnu_Exit_Click();
    EXPECT_EQ(workspace.fileBytes(), bytes) << "a later save keeps the created date and time";
}

TEST(Form1Lifecycle, ExitSavesOnceAndLeavesThePortOpen)
{
    Workspace workspace;
    auto form = workspace.start();
    WriteCounter counter(workspace.settingsFile());
    form->mnu_Exit_Click();
    EXPECT_EQ(counter.writes(), 1);
    EXPECT_TRUE(form->port().isOpen());
    form->close(); // the close sequence does not follow an Exit
    EXPECT_EQ(counter.writes(), 1);
}

TEST(Form1Lifecycle, ClosingTheWindowClosesThePortThenSavesOnce)
{
    Workspace workspace;
    auto form = workspace.start();
    form->show();
    WriteCounter counter(workspace.settingsFile());
    int writesWhenPortClosed = -1;
    QObject::connect(&form->port(), &CommPort::openChanged, [&](bool open) {
        if (!open)
            writesWhenPortClosed = counter.writes();
    });
    EXPECT_TRUE(form->close());
    EXPECT_EQ(writesWhenPortClosed, 0);
    EXPECT_EQ(counter.writes(), 1);
    EXPECT_FALSE(form->port().isOpen());
}

TEST(Form1Lifecycle, StorageFailuresAreReportedOnceAndNeverStopTheProgram)
{
    Workspace workspace;
    // A folder where the settings file should be: it can be neither read nor written.
    QDir().mkpath(workspace.settingsFile());
    auto form = workspace.start();
    ASSERT_EQ(workspace.dialogs.messages.size(), 1);
    EXPECT_TRUE(workspace.dialogs.messages[0].contains(workspace.settingsFile()));
    EXPECT_EQ(form->settings(), SetDefaultSettings(workspace.appFolder().toStdString(), kFifthOfDecember));
    EXPECT_TRUE(form->port().isOpen()) << "start-up goes on";
    form->show();
    EXPECT_TRUE(form->close()) << "closing is never refused";
    EXPECT_EQ(workspace.dialogs.messages.size(), 2);
}

TEST(Form1Lifecycle, AResultsFolderThatVanishedIsNamedInOneMessage)
{
    Workspace workspace;
    const std::string gone = workspace.programFiles.path().toStdString() + "/removed results/";
    workspace.store([&](SettingsRecord& r) { r.strResultsFolder = gone; });
    auto form = workspace.start();
    ASSERT_EQ(workspace.dialogs.messages.size(), 1);
    EXPECT_TRUE(workspace.dialogs.messages[0].contains(QString::fromStdString(gone + "2026")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(gone))) << "not re-made behind the operator's back";
    EXPECT_EQ(form->settings().strResultsFolder, gone) << "the choice is kept for when the folder is back";
}
