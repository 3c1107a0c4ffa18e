#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <iterator>

#include "shell/settings_file.h"

using namespace korvanteslin;

namespace {

const LocalDateTime kFifthOfDecember{2026, 12, 5, 9, 7, 3};

std::vector<std::uint8_t> readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> recordBytes(const std::vector<std::uint8_t>& image, std::size_t number)
{
    const auto begin = image.begin() + static_cast<std::ptrdiff_t>((number - 1) * kRecordSize);
    return {begin, begin + static_cast<std::ptrdiff_t>(kRecordSize)};
}

// A record with every field away from its default, texts of every kind.
SettingsRecord unusualRecord()
{
    SettingsRecord r = SetDefaultSettings("/data/Korvanteslin v.1.02/", kFifthOfDecember);
    r.strResultsFolder = "/home/оператор/Результаты/";
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

TEST(SettingsFile, DefaultImageMatchesTheDocumentedBytes)
{
    const auto image = encodeSettings(SetDefaultSettings("/data/Korvanteslin v.1.02/", kFifthOfDecember));
    ASSERT_EQ(image.size(), 11500u);

    std::vector<std::uint8_t> record1(kRecordSize, 0);
    record1[0] = 0x0C;
    std::memcpy(record1.data() + 2, "Korvanteslin", 12);
    EXPECT_EQ(recordBytes(image, 1), record1);

    std::vector<std::uint8_t> record16(kRecordSize, 0);
    record16[0] = 0x96;
    EXPECT_EQ(recordBytes(image, 16), record16);

    std::vector<std::uint8_t> record19(kRecordSize, 0);
    const std::uint8_t tenth[] = {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F};
    std::memcpy(record19.data(), tenth, sizeof tenth);
    EXPECT_EQ(recordBytes(image, 19), record19);

    // The port settings string before the port number; created date and time as stamped.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[9 * 500 + 2]), 10), "9600,n,8,1");
    EXPECT_EQ(image[10 * 500], 2);
    double created = 0;
    std::memcpy(&created, &image[3 * 500], 8);
    EXPECT_EQ(created, 46361.0); // 5 December 2026
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[4 * 500 + 2]), 8), "09:07:03");
}

TEST(SettingsFile, SavedRecordReadsBackUnchanged)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("settings").toStdString();
    SettingsRecord record = unusualRecord();
    record.strResultsFolder = "/" + std::string(kMaxStringBytes - 2, 'x') + "/";
    ASSERT_EQ(record.strResultsFolder.size(), 498u);

    ASSERT_EQ(SaveSettings(path, record), std::nullopt);
    EXPECT_EQ(readAll(path).size(), 11500u);
    const LoadOutcome loaded = LoadSettings(path, "/elsewhere/", kFifthOfDecember);
    EXPECT_FALSE(loaded.failed);
    EXPECT_EQ(loaded.record, record);

    // Cyrillic texts travel as their bytes.
    SettingsRecord cyrillic = unusualRecord();
    ASSERT_EQ(SaveSettings(path, cyrillic), std::nullopt);
    EXPECT_EQ(LoadSettings(path, "/elsewhere/", kFifthOfDecember).record, cyrillic);
}

TEST(SettingsFile, SaveKeepsBytesPastTheRecordsAndRefusesOversizedTexts)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("settings").toStdString();
    std::vector<std::uint8_t> longer(12000, 0xEE);
    writeAll(path, longer);
    ASSERT_EQ(SaveSettings(path, unusualRecord()), std::nullopt);
    const auto after = readAll(path);
    ASSERT_EQ(after.size(), 12000u);
    EXPECT_EQ(after[11500], 0xEE);
    EXPECT_EQ(after[11999], 0xEE);

    SettingsRecord tooLong = unusualRecord();
    tooLong.strResultsFolder = std::string(499, 'y');
    const auto before = readAll(path);
    const auto failure = SaveSettings(path, tooLong);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(path), std::string::npos);
    EXPECT_EQ(readAll(path), before) << "a refused save must not touch the file";
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
    struct Case {
        const char* name;
        std::vector<std::uint8_t> image;
    };
    const Case cases[] = {
        {"empty", {}},
        {"one byte short", {good.begin(), good.end() - 1}},
        {"22 records", {good.begin(), good.begin() + 22 * 500}},
        {"name length 499", withLength(1, 499)},
        {"results folder length 499", withLength(6, 499)},
        {"parity length 0xFFFF", withLength(13, 0xFFFF)},
        {"last string length 499", withLength(10, 499)},
        {"garbage", std::vector<std::uint8_t>(11500, 0xFF)},
    };
    const SettingsRecord defaults = SetDefaultSettings("/app/", kFifthOfDecember);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string path = dir.filePath("settings").toStdString();
        writeAll(path, c.image);
        const LoadOutcome loaded = LoadSettings(path, "/app/", kFifthOfDecember);
        EXPECT_TRUE(loaded.failed);
        EXPECT_EQ(loaded.record, defaults) << "the whole record reverts, not only the damaged field";
        EXPECT_EQ(loaded.rewriteError, std::nullopt);
        EXPECT_EQ(readAll(path), encodeSettings(defaults));
    }
}

TEST(SettingsFile, DecodeIgnoresPaddingAndTrailingBytes)
{
    auto image = encodeSettings(unusualRecord());
    for (std::size_t k = 0; k < kRecordCount; ++k)
        image[k * kRecordSize + kRecordSize - 1] = 0xA5; // padding is nobody's business
    image.resize(image.size() + 7, 0x42);
    const auto decoded = decodeSettings(image);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, unusualRecord());
}

TEST(SettingsFile, UnwritablePlacesAreDescribed)
{
    QTemporaryDir dir;
    const std::string blocker = dir.filePath("plain-file").toStdString();
    writeAll(blocker, {1, 2, 3});
    const std::string path = blocker + "/settings";
    const auto failure = SaveSettings(path, unusualRecord());
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(path), std::string::npos);
    EXPECT_NE(failure->find("Not a directory"), std::string::npos) << *failure;

    // A load that fails where nothing can be written still yields the defaults.
    const LoadOutcome loaded = LoadSettings(path, "/app/", kFifthOfDecember);
    EXPECT_TRUE(loaded.failed);
    EXPECT_TRUE(loaded.rewriteError.has_value());
    EXPECT_EQ(loaded.record, SetDefaultSettings("/app/", kFifthOfDecember));
}
