#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "shell/folders.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"

using namespace korvanteslin;

namespace {

const LocalDateTime kFirstRun{2026, 12, 5, 8, 0, 0};
const LocalDateTime kLaterRun{2027, 1, 9, 17, 30, 0};

std::vector<std::uint8_t> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct DataFolder {
    QTemporaryDir root;
    std::string app = appFolderFrom(root.path().toStdString(), "");
    std::string file = app + settingsFileName();
};

} // namespace

TEST(SettingsStartup, FirstRunCreatesFolderAndDefaultsThenLaterRunsReadThem)
{
    DataFolder data;
    ASSERT_FALSE(std::filesystem::exists(data.app));

    const PreparedSettings first = prepareSettings(data.app, kFirstRun);
    EXPECT_TRUE(first.problems.empty());
    EXPECT_EQ(first.record, SetDefaultSettings(data.app, kFirstRun));
    const auto created = readAll(data.file);
    EXPECT_EQ(created.size(), 11500u);

    const PreparedSettings second = prepareSettings(data.app, kLaterRun);
    EXPECT_EQ(second.record, first.record) << "creation date and time stay those of the first run";
    EXPECT_EQ(readAll(data.file), created) << "a good file is read, not rewritten";
}

TEST(SettingsStartup, ForeignOrDamagedFilesAreReplacedByTheDefaults)
{
    struct Case {
        const char* name;
        void (*damage)(SettingsRecord&);
    };
    const Case cases[] = {
        {"name in other case", [](SettingsRecord& r) { r.strProgName = "korvanteslin"; }},
        {"empty name", [](SettingsRecord& r) { r.strProgName.clear(); }},
        {"other version", [](SettingsRecord& r) { r.strProgVersion = "v.1.03"; }},
        {"trailing blank in version", [](SettingsRecord& r) { r.strProgVersion = "v.1.02 "; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder data;
        std::filesystem::create_directory(data.app);
        SettingsRecord foreign = SetDefaultSettings(data.app, kFirstRun);
        foreign.intLanguage = 1;
        c.damage(foreign);
        ASSERT_EQ(SaveSettings(data.file, foreign), std::nullopt);

        const PreparedSettings prepared = prepareSettings(data.app, kLaterRun);
        EXPECT_EQ(prepared.record, SetDefaultSettings(data.app, kLaterRun));
        EXPECT_EQ(readAll(data.file), encodeSettings(prepared.record));
    }
}

TEST(SettingsStartup, UnusableValuesFallBackInMemoryOnly)
{
    struct Case {
        std::int16_t period, model, language;
        std::int16_t wantPeriod, wantModel, wantLanguage;
    };
    const Case cases[] = {
        {0, 0, 0, 150, 0, 0},
        {-5, 3, 1, 150, 0, 1},
        {1, -1, 7, 1, 0, 7}, // an unknown language is kept: it only leaves captions alone
        {32767, 2, 0, 32767, 2, 0},
    };
    for (const Case& c : cases) {
        DataFolder data;
        std::filesystem::create_directory(data.app);
        SettingsRecord stored = SetDefaultSettings(data.app, kFirstRun);
        stored.intSendPeriod = c.period;
        stored.intTerminalModel = c.model;
        stored.intLanguage = c.language;
        ASSERT_EQ(SaveSettings(data.file, stored), std::nullopt);
        const auto bytes = readAll(data.file);

        const PreparedSettings prepared = prepareSettings(data.app, kLaterRun);
        EXPECT_EQ(prepared.record.intSendPeriod, c.wantPeriod);
        EXPECT_EQ(prepared.record.intTerminalModel, c.wantModel);
        EXPECT_EQ(prepared.record.intLanguage, c.wantLanguage);
        EXPECT_EQ(readAll(data.file), bytes) << "the file is written only on its own occasions";
    }
}

TEST(SettingsStartup, AFolderThatCannotBeMadeIsReportedOnceAndDefaultsStay)
{
    QTemporaryDir root;
    const std::string blocker = root.filePath("not-a-folder").toStdString();
    std::ofstream(blocker) << "x";
    const std::string app = appFolderFrom(blocker, "");

    const PreparedSettings prepared = prepareSettings(app, kFirstRun);
    ASSERT_EQ(prepared.problems.size(), 1u);
    EXPECT_NE(prepared.problems[0].find(app), std::string::npos) << prepared.problems[0];
    EXPECT_EQ(prepared.record, SetDefaultSettings(app, kFirstRun));
}
