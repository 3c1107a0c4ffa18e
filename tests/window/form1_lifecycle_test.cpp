#include <gtest/gtest.h>

#include <QComboBox>
#include <QDirIterator>
#include <QFileInfo>

#include "shell/platform_paths.h"
#include "shell/settings_file.h"
#include "window/lamp.h"
#include "window_fixture.h"

using namespace korvanteslin;

namespace {

QStringList treeOf(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    return entries;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QString comboText(Form1& form, const char* name)
{
    return form.findChild<QComboBox*>(QLatin1String(name))->currentText();
}

uint portLamp(Form1& form)
{
    return form.findChild<Lamp*>(QStringLiteral("Shape1"))->color();
}

} // namespace

TEST(Form1Lifecycle, FirstRunCreatesTheSettingsFileThenTheResultsFoldersAndASecondRunNothing)
{
    Workspace workspace;
    ASSERT_FALSE(QFileInfo::exists(workspace.settingsFile()));
    {
        auto form = workspace.start();
        EXPECT_TRUE(workspace.dialogs.messages.isEmpty()) << workspace.dialogs.messages.join('\n').toStdString();
        EXPECT_EQ(QFileInfo(workspace.settingsFile()).size(), 11500);
        const QString month = workspace.appFolder() + "2026/" + QString::fromStdString(systemMonthName(12));
        EXPECT_TRUE(QFileInfo(month).isDir()) << month.toStdString();
        EXPECT_EQ(QString::fromStdString(form->monthFolder()), month);
        EXPECT_TRUE(form->port().isOpen());
        EXPECT_EQ(portLamp(*form), Lamp::kGreen);
    }
    const QStringList tree = treeOf(workspace.programFiles.path());
    const QByteArray bytes = fileBytes(workspace.settingsFile());
    {
        auto form = workspace.start();
        EXPECT_EQ(treeOf(workspace.programFiles.path()), tree);
        EXPECT_EQ(fileBytes(workspace.settingsFile()), bytes);
    }
}

TEST(Form1Lifecycle, ExitSavesOnceAndLeavesThePortAlone)
{
    Workspace workspace;
    auto form = workspace.start();
    WriteCounter counter(workspace.settingsFile());
    ASSERT_TRUE(form->port().isOpen());

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
    EXPECT_FALSE(form->isVisible());
}

TEST(Form1Lifecycle, AMissingDeviceIsReportedAndTheBoxesAreFilledAllTheSame)
{
    Workspace workspace(false);
    const QString nowhere = workspace.appFolder() + "unplugged-adapter";
    workspace.linkPort(2, nowhere);
    auto form = workspace.start();

    ASSERT_EQ(workspace.dialogs.messages.size(), 1);
    EXPECT_TRUE(workspace.dialogs.messages[0].contains(nowhere)) << workspace.dialogs.messages[0].toStdString();
    EXPECT_FALSE(form->port().isOpen());
    EXPECT_EQ(portLamp(*form), Lamp::kRed);
    EXPECT_EQ(comboText(*form, "Combo1_0"), "2");
    EXPECT_EQ(comboText(*form, "Combo1_1"), "9600");
    EXPECT_EQ(comboText(*form, "Combo1_2"), "n");
    EXPECT_EQ(comboText(*form, "Combo1_3"), "8");
    EXPECT_EQ(comboText(*form, "Combo1_4"), "1");
}

TEST(Form1Lifecycle, StoredPortValuesAreUsedAndShown)
{
    Workspace workspace(false);
    workspace.linkPort(7, workspace.line.slavePath());
    SettingsRecord stored = SetDefaultSettings(workspace.appFolder().toStdString(), kFifthOfDecember);
    stored.intPortNumber = 7;
    stored.strPortSettings = "19200,n,8,1";
    stored.lngBaudRate = 19200;
    stored.intDataBits = 9; // a refused choice from last time is still shown
    ASSERT_EQ(SaveSettings(workspace.settingsFile().toStdString(), stored), std::nullopt);

    auto form = workspace.start();
    EXPECT_TRUE(workspace.dialogs.messages.isEmpty());
    EXPECT_TRUE(form->port().isOpen());
    EXPECT_EQ(form->port().settings(), "19200,n,8,1");
    EXPECT_EQ(comboText(*form, "Combo1_0"), "7");
    EXPECT_EQ(comboText(*form, "Combo1_1"), "19200");
    EXPECT_EQ(comboText(*form, "Combo1_3"), "9");
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
    SettingsRecord stored = SetDefaultSettings(workspace.appFolder().toStdString(), kFifthOfDecember);
    stored.strResultsFolder = gone;
    ASSERT_EQ(SaveSettings(workspace.settingsFile().toStdString(), stored), std::nullopt);

    auto form = workspace.start();
    ASSERT_EQ(workspace.dialogs.messages.size(), 1);
    EXPECT_TRUE(workspace.dialogs.messages[0].contains(QString::fromStdString(gone + "2026")));
    EXPECT_EQ(form->settings().strResultsFolder, gone) << "the choice is kept for when the folder is back";
}
