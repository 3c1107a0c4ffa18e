#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <fstream>
#include <iterator>

#include "shell/folders.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"

#include "file_bytes.h"

using namespace korvanteslin;
using korvanteslin::test::readAll;
using korvanteslin::test::writeAll;

namespace {

const LocalDateTime kFifthOfDecember{2026, 12, 5, 9, 7, 3};
const LocalDateTime kLaterRun{2027, 1, 9, 17, 30, 0};

// A record with every field away from its default.
SettingsRecord unusualRecord()
{
    SettingsRecord r = SetDefaultSettings("/data/Korvanteslin v.1.02/", kFifthOfDecember);
    r.intReserved1 = -32768;
    r.intReserved2 = 32767;
    r.intLanguage = 1;
    r.strPortSettings = "115200,e,7,2";
    r.intPortNumber = 12;
    r.lngBaudRate = -2147483647 - 1;
    r.strParity = "";
    r.intDataBits = 9;
    r.intStopBits = 2;
    r.intSendPeriod = 1;
    r.intTerminalModel = 2;
    r.intOscCount = -1;
    r.dblAmplitude = -1.0e-300;
    r.lngMaxCounter = 2147483647;
    r.lngCycleCounter = 99;
    r.lngCyclePeriod = 100000;
    r.intCycleOn = 1;
    return r;
}

} // namespace

TEST(SettingsFile, TheDefaultFileHasTheseBytesAndASavedRecordReadsBackUnchanged)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("settings").toStdString();
    ASSERT_EQ(SaveSettings(path, SetDefaultSettings("/data/Korvanteslin v.1.02/", kFifthOfDecember)), std::nullopt);
    const auto image = readAll(path);
    ASSERT_EQ(image.size(), 11500u);
    const auto expectRecord = [&](std::size_t number, const std::string& head) {
        std::vector<std::uint8_t> want(head.begin(), head.end());
        want.resize(kRecordSize, 0);
        const auto begin = image.begin() + static_cast<std::ptrdiff_t>((number - 1) * kRecordSize);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), begin)) << "record " << number;
    };
    expectRecord(1, std::string("\x0C\0Korvanteslin", 14));
    expectRecord(16, std::string("\x96\0", 2));
    expectRecord(19, "\x9A\x99\x99\x99\x99\x99\xB9\x3F");

    SettingsRecord record = unusualRecord();
    record.strResultsFolder = "/Результаты" + std::string(476, 'x') + "/"; // the longest there can be
    ASSERT_EQ(record.strResultsFolder.size(), kMaxStringBytes);
    ASSERT_EQ(SaveSettings(path, record), std::nullopt);
    const LoadOutcome loaded = LoadSettings(path, "/elsewhere/", kLaterRun);
    EXPECT_EQ(loaded.source, SettingsSource::File);
    EXPECT_EQ(loaded.record, record);
}

TEST(SettingsFile, DamagedFilesGiveTheDefaultsAndAreRewritten)
{
    const auto good = encodeSettings(unusualRecord());
    auto withLength = [&](std::size_t recordNumber, std::uint16_t length) {
        auto image = good;
        image[(recordNumber - 1) * kRecordSize] = static_cast<std::uint8_t>(length);
        image[(recordNumber - 1) * kRecordSize + 1] = static_cast<std::uint8_t>(length >> 8);
        return image;
    };
    const std::pair<const char*, std::vector<std::uint8_t>> cases[] = {
        {"one byte short", {good.begin(), good.end() - 1}},
        {"name length 499", withLength(1, 499)},
        {"parity length 0xFFFF", withLength(13, 0xFFFF)},
        {"garbage", std::vector<std::uint8_t>(11500, 0xFF)},
    };
    const SettingsRecord defaults = SetDefaultSettings("/app/", kFifthOfDecember);
    for (const auto& [name, image] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const std::string path = dir.filePath("settings").toStdString();
        writeAll(path, image);
        const LoadOutcome loaded = LoadSettings(path, "/app/", kFifthOfDecember);
        EXPECT_EQ(loaded.source, SettingsSource::Replaced);
        EXPECT_EQ(loaded.record, defaults) << "the whole record reverts, not only the damaged field";
        EXPECT_EQ(readAll(path), encodeSettings(defaults));
    }
}

TEST(SettingsStartup, AnotherProgramsFileIsReplacedAndUnusableValuesFallBackInMemoryOnly)
{
    struct Case {
        const char* name;
        std::function<void(SettingsRecord&)> change;
        bool replaced;
        std::int16_t wantPeriod, wantModel;
    };
    const Case cases[] = {
        {"name in other case", [](SettingsRecord& r) { r.strProgName = "korvanteslin"; }, true, 150, 0},
        {"other name", [](SettingsRecord& r) { r.strProgName = "Korvantesli"; }, true, 150, 0},
        {"other version", [](SettingsRecord& r) { r.strProgVersion = "v.1.03"; }, true, 150, 0},
        {"period 0, model 3", [](SettingsRecord& r) { r.intSendPeriod = 0; r.intTerminalModel = 3; }, false, 150, 0},
        {"period -5, model -1", [](SettingsRecord& r) { r.intSendPeriod = -5; r.intTerminalModel = -1; }, false, 150, 0},
        {"period 1, model 2", [](SettingsRecord& r) { r.intSendPeriod = 1; r.intTerminalModel = 2; }, false, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        const std::string app = root.path().toStdString() + "/", file = app + settingsFileName();
        SettingsRecord stored = SetDefaultSettings(app, kFifthOfDecember);
        stored.intLanguage = 7; // an unknown language is kept: it only leaves captions alone
        c.change(stored);
        ASSERT_EQ(SaveSettings(file, stored), std::nullopt);
        const auto bytes = readAll(file);
        const PreparedSettings prepared = prepareSettings(app, kLaterRun);
        if (c.replaced) {
            EXPECT_EQ(prepared.record, SetDefaultSettings(app, kLaterRun));
            EXPECT_EQ(readAll(file), encodeSettings(prepared.record));
            continue;
        }
        EXPECT_EQ(prepared.record.intSendPeriod, c.wantPeriod);
        EXPECT_EQ(prepared.record.intTerminalModel, c.wantModel);
        EXPECT_EQ(prepared.record.intLanguage, 7);
        EXPECT_EQ(prepared.record.strCreatedTime, "09:07:03") << "the first run's stamp stays";
        EXPECT_EQ(readAll(file), bytes) << "the file is written only on its own occasions";
    }
}

TEST(SettingsStartup, AFirstRunCreatesTheDataFolderAndTheDefaultFile)
{
    QTemporaryDir root;
    const std::string app = appFolderFrom(root.path().toStdString(), "");
    const PreparedSettings first = prepareSettings(app, kFifthOfDecember);
    EXPECT_TRUE(first.problems.empty());
    EXPECT_EQ(first.record, SetDefaultSettings(app, kFifthOfDecember));
    EXPECT_EQ(readAll(app + settingsFileName()), encodeSettings(first.record));
}
