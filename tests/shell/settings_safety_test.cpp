// The settings file against everything that can happen to it on disk: a stop
// in the middle of a save, links, pipes and terminals where it belongs, a file
// its user cannot read, and a second copy of the program on the same folder.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSysInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "forked_child.h"
#include "pty_pair.h"
#include "shell/data_folder_lock.h"
#include "shell/folders.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"

#include "file_bytes.h"

using namespace korvanteslin;
using korvanteslin::test::readAll;
using korvanteslin::test::writeAll;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const LocalDateTime kFifthOfDecember{2026, 12, 5, 9, 7, 3};
constexpr uid_t kNobody = 65534;

std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> bytes, const std::string& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

// What a message says in English, for checking what it names.
std::string english(const std::optional<ShellMessage>& message)
{
    return message ? wordMessage(*message, Language::English) : "(no message)";
}

// A folder standing for the program-files folder, with its data folder made.
struct DataFolder {
    DataFolder() { fs::create_directories(app); }
    QTemporaryDir root;
    std::string app = appFolderFrom(root.path().toStdString(), "");
    std::string file = app + settingsFileName();
};

} // namespace

TEST(SettingsSafety, ASaveStoppedAtAnyStepLeavesTheOldFileOrTheNewOneWhole)
{
    DataFolder folder;
    const std::string tail = "kept by the operator after the records";
    SettingsRecord oldRecord = SetDefaultSettings(folder.app, kFifthOfDecember), newRecord = oldRecord;
    // The two fields that were once seen half old, half new after a kill.
    newRecord.intTerminalModel = 2;
    newRecord.intOscCount = 9;
    const auto oldBytes = encodeSettings(oldRecord) + tail, newBytes = encodeSettings(newRecord) + tail;
    writeAll(folder.file, oldBytes);
    ::chmod(folder.file.c_str(), 0640);

    int stoppedOld = 0, stoppedNew = 0;
    for (int stopAt = 0;; ++stopAt) {
        SCOPED_TRACE("stopped before step " + std::to_string(stopAt));
        ASSERT_LT(stopAt, 50) << "a save never ends";
        writeAll(folder.file, oldBytes);
        const test::ChildOutcome child = test::runInChild(
            [&] {
                int step = 0;
                const auto failure = SaveSettings(folder.file, newRecord, [&](SaveStep) {
                    if (step++ == stopAt)
                        ::raise(SIGKILL);
                });
                return english(failure);
            },
            10s);
        const auto found = readAll(folder.file);
        if (child.exitedNormally()) {
            EXPECT_EQ(child.report, "(no message)");
            EXPECT_EQ(found, newBytes) << "what followed the records is carried over";
            break;
        }
        ASSERT_TRUE(child.killedBy(SIGKILL));
        ASSERT_TRUE(found == oldBytes || found == newBytes) << "a mixture of " << found.size() << " bytes";
        (found == oldBytes ? stoppedOld : stoppedNew)++;
    }
    EXPECT_GT(stoppedOld, 0);
    EXPECT_GT(stoppedNew, 0) << "the new file is in place before the folder is synced";

    struct stat saved {};
    ::stat(folder.file.c_str(), &saved);
    EXPECT_EQ(saved.st_mode & 07777, 0640u) << "the file keeps its permissions";
}

// Whatever follows the records may be huge and mostly holes (a file grown by
// another tool): a save copies it a piece at a time, keeps the holes, and
// needs no more memory for it than for a small one.
TEST(SettingsSafety, AHugeSparseTailIsCarriedOverWithoutBeingHeldInMemory)
{
    DataFolder folder;
    const SettingsRecord record = SetDefaultSettings(folder.app, kFifthOfDecember);
    writeAll(folder.file, encodeSettings(record));
    constexpr off_t kGiB = off_t(1) << 30;
    const std::pair<off_t, std::string> marks[] = {{kSettingsFileSize, "right after"}, {kGiB / 2, "middle"}, {kGiB - 3, "end"}};
    {
        std::fstream file(folder.file, std::ios::in | std::ios::out | std::ios::binary);
        for (const auto& [at, text] : marks)
            file.seekp(at) << text;
    }
    const test::ChildOutcome child = test::runInChild(
        [&] {
            rusage before{}, after{};
            ::getrusage(RUSAGE_SELF, &before);
            const std::string failure = english(SaveSettings(folder.file, record));
            ::getrusage(RUSAGE_SELF, &after);
            return failure + " " + std::to_string((after.ru_maxrss - before.ru_maxrss) / 1024);
        },
        60s);
    ASSERT_TRUE(child.exitedNormally());
    EXPECT_EQ(child.report.substr(0, 12), "(no message)");
    EXPECT_LT(std::stol(child.report.substr(child.report.rfind(' ') + 1)), 32) << "MiB more at the peak";

    struct stat saved {};
    ::stat(folder.file.c_str(), &saved);
    EXPECT_EQ(saved.st_size, kGiB - 3 + 3);
    EXPECT_LT(saved.st_blocks * 512, 4 << 20) << "the holes were written out";
    std::ifstream file(folder.file, std::ios::binary);
    for (const auto& [at, text] : marks) {
        std::string found(text.size(), '\0');
        file.seekg(at).read(found.data(), std::streamsize(found.size()));
        EXPECT_EQ(found, text) << at;
    }
}

TEST(SettingsSafety, NothingButARegularFileIsReadAndNothingIsWrittenThroughALink)
{
    const test::PtyPair terminal;
    struct Case {
        const char* name;
        EntryKind kind;
        std::function<void(const std::string& path, const std::string& elsewhere)> make;
    };
    const auto settingsFile = [](const std::string& path) {
        writeAll(path, encodeSettings(SetDefaultSettings("/elsewhere/", kFifthOfDecember)));
    };
    const Case cases[] = {
        {"named pipe", EntryKind::Fifo, [](const std::string& path, const std::string&) { ::mkfifo(path.c_str(), 0644); }},
        {"folder", EntryKind::Folder, [](const std::string& path, const std::string&) { fs::create_directory(path); }},
        {"link to a named pipe", EntryKind::Link,
            [](const std::string& path, const std::string& elsewhere) {
                ::mkfifo(elsewhere.c_str(), 0644);
                fs::create_symlink(elsewhere, path);
            }},
        {"link to a terminal", EntryKind::Link,
            [&](const std::string& path, const std::string&) {
                fs::create_symlink(terminal.slavePath().toStdString(), path);
            }},
        {"link to a settings file elsewhere", EntryKind::Link,
            [&](const std::string& path, const std::string& elsewhere) {
                settingsFile(elsewhere);
                fs::create_symlink(elsewhere, path);
            }},
        {"dangling link", EntryKind::Link,
            [](const std::string& path, const std::string& elsewhere) { fs::create_symlink(elsewhere, path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        QTemporaryDir outside;
        const std::string elsewhere = outside.filePath("target").toStdString();
        c.make(folder.file, elsewhere);
        const auto entry = fs::symlink_status(folder.file).type();
        const auto target = fs::is_regular_file(elsewhere) ? readAll(elsewhere) : std::vector<std::uint8_t>{};
        const bool targetExisted = fs::exists(fs::symlink_status(elsewhere));

        // In a child: reading a pipe or a terminal the plain way waits for ever.
        const test::ChildOutcome child = test::runInChild(
            [&] {
                const LoadOutcome loaded = LoadSettings(folder.file, folder.app, kFifthOfDecember);
                const auto saved = SaveSettings(folder.file, loaded.record);
                std::ostringstream report;
                report << (loaded.source == SettingsSource::LeftAlone) << ' '
                       << (loaded.record == SetDefaultSettings(folder.app, kFifthOfDecember)) << ' '
                       << int(loaded.problem ? loaded.problem->kind : EntryKind::None) << ' '
                       << int(saved ? saved->kind : EntryKind::None) << '\n'
                       << english(loaded.problem) << '\n' << english(saved);
                return report.str();
            },
            10s);
        ASSERT_FALSE(child.timedOut) << "start-up waited on it";
        std::istringstream report(child.report);
        int leftAlone = 0, defaults = 0, loadKind = 0, saveKind = 0;
        std::string loadMessage, saveMessage;
        report >> leftAlone >> defaults >> loadKind >> saveKind;
        report.ignore();
        std::getline(report, loadMessage);
        std::getline(report, saveMessage);
        EXPECT_TRUE(leftAlone);
        EXPECT_TRUE(defaults);
        EXPECT_EQ(loadKind, int(c.kind)) << loadMessage;
        EXPECT_EQ(saveKind, int(c.kind)) << saveMessage;
        EXPECT_NE(loadMessage.find(folder.file), std::string::npos) << loadMessage;
        EXPECT_NE(saveMessage.find(folder.file), std::string::npos) << saveMessage;

        EXPECT_EQ(fs::symlink_status(folder.file).type(), entry) << "left as it was";
        EXPECT_EQ(fs::exists(fs::symlink_status(elsewhere)), targetExisted) << "nothing made where a link points";
        if (fs::is_regular_file(elsewhere)) {
            EXPECT_EQ(readAll(elsewhere), target) << "nothing written where a link points";
        }
    }
}

TEST(SettingsSafety, AFileItsUserCannotReadOrWriteIsLeftAsItIs)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the load as the unprivileged user nobody (root reads every file)";
    struct Case {
        const char* name;
        mode_t mode;
        std::function<std::string(const DataFolder&)> run; // as nobody
        const char* said;
    };
    const Case cases[] = {
        {"read permission removed", 0200,
            [](const DataFolder& folder) {
                PreparedSettings prepared = prepareSettings(folder.app, kFifthOfDecember);
                std::string report = std::to_string(prepared.fileLeftAlone) + std::to_string(prepared.problems.size())
                    + std::to_string(prepared.record == SetDefaultSettings(folder.app, kFifthOfDecember));
                for (const ShellMessage& problem : prepared.problems)
                    report += "\n" + wordMessage(problem, Language::English);
                return report;
            },
            "111\nCannot read the settings file {file}: Permission denied."},
        {"write permission removed", 0444,
            [](const DataFolder& folder) {
                return english(SaveSettings(folder.file, SetDefaultSettings("/x/", kFifthOfDecember)));
            },
            "Cannot save the settings to {file}: Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        SettingsRecord own = SetDefaultSettings(folder.app, kFifthOfDecember);
        own.intLanguage = 1;
        const auto bytes = encodeSettings(own);
        writeAll(folder.file, bytes);
        // Everything belongs to nobody, who may change the folder: only the file's own bits stand in the way.
        for (const std::string& path : {folder.root.path().toStdString(), folder.app, folder.file})
            ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
        ::chmod(folder.file.c_str(), c.mode);

        const test::ChildOutcome child = test::runInChild(
            [&] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                    return std::string("cannot become nobody");
                return c.run(folder);
            },
            10s);
        if (child.report == "cannot become nobody")
            GTEST_SKIP() << "this root may not change to the user nobody (no CAP_SETUID)";
        std::string said = c.said;
        said.replace(said.find("{file}"), 6, folder.file);
        EXPECT_EQ(child.report.substr(0, said.size()), said) << child.report;
        ::chmod(folder.file.c_str(), 0644);
        EXPECT_TRUE(readAll(folder.file) == bytes) << "the operator's settings are still there";
        std::vector<std::string> entries;
        for (const auto& entry : fs::directory_iterator(folder.app))
            entries.push_back(entry.path().filename().string());
        EXPECT_EQ(entries, std::vector<std::string>{settingsFileName()}) << "nothing left beside it";
    }
}

TEST(SettingsSafety, OneCopyPerDataFolderAndALockOfAnEndedCopyIsTakenOver)
{
    DataFolder folder, another;
    auto first = std::make_unique<PreparedSettings>(prepareSettings(folder.app, kFifthOfDecember));
    ASSERT_FALSE(first->runningElsewhere);

    // Damaged bytes that a copy reading the file would replace.
    const std::vector<std::uint8_t> damaged(10, 0xFF);
    writeAll(folder.file, damaged);
    const PreparedSettings second = prepareSettings(folder.app, kFifthOfDecember);
    EXPECT_TRUE(second.runningElsewhere);
    ASSERT_EQ(second.problems.size(), 1u);
    EXPECT_EQ(wordMessage(second.problems[0], Language::English),
        "The emulator is already running on the data folder " + folder.app + " (process " + std::to_string(::getpid())
            + "). This copy ends without touching the settings or the serial port.");
    EXPECT_EQ(readAll(folder.file), damaged) << "the settings file is not touched";

    EXPECT_FALSE(prepareSettings(another.app, kFifthOfDecember).runningElsewhere) << "another folder runs beside it";

    first.reset();
    EXPECT_FALSE(prepareSettings(folder.app, kFifthOfDecember).runningElsewhere) << "free once the first copy ended";

    // Lock files as a copy leaves them: killed (its process is gone), or
    // alive but started long ago.
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const auto lockOf = [&](qint64 pid) {
        const std::string lock = folder.app + lockFileName();
        std::ofstream(lock) << pid << '\n'
                            << QCoreApplication::applicationFilePath().toStdString() << '\n'
                            << QSysInfo::machineHostName().toStdString() << '\n';
        fs::last_write_time(lock, fs::file_time_type::clock::now() - std::chrono::hours(5));
    };
    lockOf(ended);
    EXPECT_FALSE(prepareSettings(folder.app, kFifthOfDecember).runningElsewhere) << "an ended copy's lock";
    lockOf(::getpid());
    EXPECT_TRUE(prepareSettings(folder.app, kFifthOfDecember).runningElsewhere) << "a living copy's lock, however old";
}

TEST(ShellMessages, EveryMessageSpeaksBothLanguagesAndNamesWhatItIsAbout)
{
    const MessageId ids[] = {MessageId::CannotSaveSettings, MessageId::TextTooLongToSave, MessageId::CannotCreateFolder,
        MessageId::ResultsFolderTooLong, MessageId::CannotReadSettings, MessageId::SettingsFileNotUsed,
        MessageId::AlreadyRunning, MessageId::AlreadyRunningUnknownProcess, MessageId::WindowModuleMissing,
        MessageId::UnknownOption, MessageId::MissingOptionValue, MessageId::UnexpectedOptionValue,
        MessageId::UnexpectedArgument, MessageId::EmptyOptionValue, MessageId::ControlCharacterInPath,
        MessageId::BadAddress, MessageId::ControlNotLoopback, MessageId::ControlTokenUnreadable,
        MessageId::ControlTokenUnusable, MessageId::VirtualPortTaken, MessageId::NoPseudoTerminal,
        MessageId::VirtualPortFailed, MessageId::TcpCannotListen, MessageId::ControlCannotListen,
        MessageId::TcpClientRefused, MessageId::Rfc2217CannotListen, MessageId::Rfc2217ClientRefused,
        MessageId::ReaderSetOtherwise};
    const std::string path = "/data/Результаты/x";
    for (const MessageId id : ids) {
        SCOPED_TRACE(int(id));
        const ShellMessage message = failureAt(id, path, EACCES);
        const std::string en = wordMessage(message, Language::English), ru = wordMessage(message, Language::Russian);
        EXPECT_NE(en.find(path), std::string::npos) << en;
        EXPECT_NE(ru.find(path), std::string::npos) << ru;
        EXPECT_EQ(en.find('{'), std::string::npos) << en;
        EXPECT_EQ(ru.find('{'), std::string::npos) << ru;
        const auto withoutPath = [&](std::string text) { return text.erase(text.find(path), path.size()); };
        const auto cyrillic = [](const std::string& text) {
            return std::any_of(text.begin(), text.end(), [](char ch) { return (unsigned char)ch >= 0xD0; });
        };
        EXPECT_FALSE(cyrillic(withoutPath(en))) << en;
        EXPECT_TRUE(cyrillic(withoutPath(ru))) << ru;
        EXPECT_EQ(wordMessage(message, languageOf(7)), en) << "an unknown language speaks English";
    }
    const ShellMessage denied = failureAt(MessageId::CannotSaveSettings, "/f", EACCES);
    EXPECT_EQ(wordMessage(denied, Language::Russian), "Не удалось сохранить настройки в файл /f: Отказано в доступе");
    const ShellMessage link = failureAt(MessageId::CannotSaveSettings, "/f", 0, EntryKind::Link);
    EXPECT_EQ(wordMessage(link, Language::English),
        "Cannot save the settings to /f: it is a symbolic link, and the settings are never read or written through a link");
}
