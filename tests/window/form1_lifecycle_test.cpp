#include <sys/stat.h>

#include <QSessionManager>
#include <functional>

#include "shell/data_folder_lock.h"
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
        // The running copy's lock comes and goes with it.
        entries.removeAll(workspace.appFolder() + QString::fromStdString(lockFileName()));
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

// A change the operator makes in the window that reaches the file only when the program ends.
static void changeThePeriod(Form1& form)
{
    typeInto(form, "Text1_0", "250");
    click(form, "Command4");
}

TEST(Form1Lifecycle, AnythingButARegularSettingsFileIsLeftAloneForTheWholeRun)
{
    struct Case {
        const char* name;
        std::function<void(const QString& path, const QString& elsewhere)> make;
    };
    const Case cases[] = {
        {"named pipe", [](const QString& path, const QString&) { ::mkfifo(QFile::encodeName(path).constData(), 0644); }},
        {"folder", [](const QString& path, const QString&) { QDir().mkpath(path); }},
        {"link to a settings file elsewhere",
            [](const QString& path, const QString& elsewhere) {
                korvanteslin::SaveSettings(elsewhere.toStdString(), SetDefaultSettings("/elsewhere/", kFifthOfDecember));
                QFile::link(elsewhere, path);
            }},
        {"dangling link", [](const QString& path, const QString& elsewhere) { QFile::link(elsewhere, path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace workspace;
        QTemporaryDir outside;
        const QString elsewhere = outside.filePath("settings");
        c.make(workspace.settingsFile(), elsewhere);
        const QFileInfo entry(workspace.settingsFile());
        const QByteArray target = QFileInfo(elsewhere).isFile() ? workspace.fileBytes() : QByteArray();
        WriteCounter counter(workspace.settingsFile());

        auto form = workspace.start();
        ASSERT_EQ(workspace.dialogs.messages.size(), 1);
        EXPECT_TRUE(workspace.dialogs.messages[0].startsWith("The settings file " + workspace.settingsFile()))
            << workspace.dialogs.messages[0].toStdString();
        EXPECT_EQ(form->settings(), SetDefaultSettings(workspace.appFolder().toStdString(), kFifthOfDecember));
        EXPECT_TRUE(form->port().isOpen()) << "start-up goes on";

        // Every occasion that writes the file passes it by, without a word.
        changeThePeriod(*form);
        form->mnu_rus_Click();
        workspace.dialogs.folderAnswers = {workspace.programFiles.path()};
        click(*form, "Basis_Command1");
        form->show();
        EXPECT_TRUE(form->close()) << "closing is never refused";
        EXPECT_EQ(workspace.dialogs.messages.size(), 1);
        EXPECT_EQ(counter.writes(), 0);
        const QFileInfo after(workspace.settingsFile());
        EXPECT_EQ(after.isSymLink(), entry.isSymLink());
        EXPECT_EQ(after.symLinkTarget(), entry.symLinkTarget());
        EXPECT_EQ(after.isDir(), entry.isDir());
        EXPECT_EQ(QFileInfo(elsewhere).isFile() ? workspace.fileBytes() : QByteArray(), target)
            << "nothing written or made where a link points";
    }
}

TEST(Form1Lifecycle, ASecondCopyOnTheSameDataFolderEndsAtOnceAndAnotherFolderRunsBesideIt)
{
    Workspace workspace;
    auto first = workspace.start();
    changeThePeriod(*first);
    const QByteArray before = workspace.fileBytes();
    WriteCounter counter(workspace.settingsFile());

    Form1 second(workspace.dialogs);
    EXPECT_FALSE(second.Form_Load());
    ASSERT_EQ(workspace.dialogs.messages.size(), 1);
    EXPECT_EQ(workspace.dialogs.messages[0],
        "The emulator is already running on the data folder " + workspace.appFolder() + " (process "
            + QString::number(QCoreApplication::applicationPid())
            + "). This copy ends without touching the settings or the serial port.");
    EXPECT_FALSE(second.port().isOpen());
    EXPECT_EQ(workspace.fileBytes(), before);

    {
        Workspace another;
        auto beside = another.start();
        EXPECT_TRUE(another.dialogs.messages.isEmpty()) << another.dialogs.messages.join('\n').toStdString();
        EXPECT_TRUE(beside->port().isOpen());
    }

    first->show();
    first->close();
    second.show();
    second.close(); // ends without a save of its own
    EXPECT_EQ(counter.writes(), 1);
    EXPECT_EQ(workspace.savedRecord().intSendPeriod, 250) << "the first copy's change survives";
}

TEST(Form1Lifecycle, TheSessionsEndSavesAndAClosingAfterwardsSavesOnlyWhatChangedSince)
{
    auto* manager = qApp->findChild<QSessionManager*>();
    ASSERT_NE(manager, nullptr);
    for (const bool changedAfterwards : {false, true}) {
        SCOPED_TRACE(changedAfterwards ? "the logout was cancelled and work went on" : "the session ends");
        Workspace workspace;
        auto form = workspace.start();
        form->show();
        changeThePeriod(*form);
        WriteCounter counter(workspace.settingsFile());
        emit qApp->commitDataRequest(*manager);
        EXPECT_EQ(counter.writes(), 1);
        EXPECT_EQ(workspace.savedRecord().intSendPeriod, 250);
        EXPECT_TRUE(form->port().isOpen()) << "the session may yet go on";
        if (changedAfterwards)
            control<QCheckBox>(*form, "Check2")->click(); // cycle mode on: kept in memory until the end
        form->close();
        EXPECT_FALSE(form->port().isOpen());
        EXPECT_EQ(counter.writes(), changedAfterwards ? 2 : 1);
        EXPECT_EQ(workspace.savedRecord().intCycleOn, changedAfterwards ? 1 : 0);
    }
}

TEST(Form1Lifecycle, ARequestToEndWhileAStartUpMessageWaitsEndsTheStartUpThere)
{
    Workspace workspace;
    workspace.store([&](SettingsRecord& r) {
        r.strResultsFolder = workspace.programFiles.path().toStdString() + "/removed results/";
    });
    WriteCounter counter(workspace.settingsFile());
    Form1 form(workspace.dialogs);
    workspace.dialogs.whileShown = [&] { form.endOnRequest(); }; // a SIGTERM during the message
    EXPECT_TRUE(form.Form_Load());
    EXPECT_TRUE(form.hasEnded());
    EXPECT_EQ(workspace.dialogs.messages.size(), 1);
    EXPECT_FALSE(form.port().isOpen()) << "the port is not opened after the close sequence";
    EXPECT_EQ(counter.writes(), 1);
}

TEST(Form1Lifecycle, TheShellsMessagesSpeakTheInterfaceLanguage)
{
    struct Case {
        std::int16_t intLanguage;
        const char *folder, *refused, *save, *reason;
    };
    const Case cases[] = {
        {0, "Cannot create the folder ", "The folder cannot be used for results", "Cannot save the settings to ",
            "it is a folder"},
        {1, "Не удалось создать папку ", "Эту папку нельзя выбрать для результатов",
            "Не удалось сохранить настройки в файл ", "это папка"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.intLanguage);
        Workspace workspace;
        const std::string gone = workspace.programFiles.path().toStdString() + "/removed results/";
        workspace.store([&](SettingsRecord& r) {
            r.strResultsFolder = gone;
            r.intLanguage = c.intLanguage;
        });
        auto form = workspace.start();
        QStringList& said = workspace.dialogs.messages;
        ASSERT_EQ(said.size(), 1);
        EXPECT_EQ(said[0], QString::fromUtf8(c.folder) + QString::fromStdString(gone + "2026") + ": "
                + QString::fromUtf8(c.intLanguage == 0 ? "No such file or directory" : "Нет такого файла или каталога"));
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(gone))) << "not re-made behind the operator's back";
        EXPECT_EQ(form->settings().strResultsFolder, gone) << "the choice is kept for when the folder is back";

        workspace.dialogs.folderAnswers = {"/" + QString(497, 'r')};
        click(*form, "Basis_Command1");
        ASSERT_EQ(said.size(), 2);
        EXPECT_TRUE(said[1].startsWith(QString::fromUtf8(c.refused))) << said[1].toStdString();

        // Something else took the file's place while the program ran.
        QFile::remove(workspace.settingsFile());
        QDir().mkpath(workspace.settingsFile());
        form->show();
        form->close();
        ASSERT_EQ(said.size(), 3);
        EXPECT_EQ(said[2], QString::fromUtf8(c.save) + workspace.settingsFile() + ": " + QString::fromUtf8(c.reason));
    }
}
