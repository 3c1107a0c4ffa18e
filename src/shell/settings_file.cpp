#include "shell/settings_file.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace korvanteslin {

namespace {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

// Visits the 23 fields in file order; the one place that knows that order.
template <class Record, class Visit>
void forEachField(Record& r, Visit&& visit)
{
    visit(r.strProgName);
    visit(r.strProgVersion);
    visit(r.strDataFolder);
    visit(r.dtmCreated);
    visit(r.strCreatedTime);
    visit(r.strResultsFolder);
    visit(r.intReserved1);
    visit(r.intReserved2);
    visit(r.intLanguage);
    visit(r.strPortSettings);
    visit(r.intPortNumber);
    visit(r.lngBaudRate);
    visit(r.strParity);
    visit(r.intDataBits);
    visit(r.intStopBits);
    visit(r.intSendPeriod);
    visit(r.intTerminalModel);
    visit(r.intOscCount);
    visit(r.dblAmplitude);
    visit(r.lngMaxCounter);
    visit(r.lngCycleCounter);
    visit(r.lngCyclePeriod);
    visit(r.intCycleOn);
}

template <class Unsigned>
void putLittleEndian(std::uint8_t* out, Unsigned value)
{
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <class Unsigned>
Unsigned getLittleEndian(const std::uint8_t* in)
{
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
        value = static_cast<Unsigned>(value | static_cast<Unsigned>(static_cast<Unsigned>(in[i]) << (8 * i)));
    return value;
}

struct FieldWriter {
    std::uint8_t* record;

    void operator()(std::int16_t v) const { putLittleEndian(record, static_cast<std::uint16_t>(v)); }
    void operator()(std::int32_t v) const { putLittleEndian(record, static_cast<std::uint32_t>(v)); }
    void operator()(double v) const { putLittleEndian(record, std::bit_cast<std::uint64_t>(v)); }
    void operator()(const std::string& v) const
    {
        putLittleEndian(record, static_cast<std::uint16_t>(v.size()));
        std::memcpy(record + 2, v.data(), v.size());
    }
};

struct FieldReader {
    const std::uint8_t* record;
    bool* damaged;

    void operator()(std::int16_t& v) const { v = static_cast<std::int16_t>(getLittleEndian<std::uint16_t>(record)); }
    void operator()(std::int32_t& v) const { v = static_cast<std::int32_t>(getLittleEndian<std::uint32_t>(record)); }
    void operator()(double& v) const { v = std::bit_cast<double>(getLittleEndian<std::uint64_t>(record)); }
    void operator()(std::string& v) const
    {
        const std::size_t length = getLittleEndian<std::uint16_t>(record);
        if (length > kMaxStringBytes) {
            *damaged = true;
            return;
        }
        v.assign(reinterpret_cast<const char*>(record + 2), length);
    }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string describe(const std::string& what, const std::string& path, int error)
{
    return what + " " + path + ": " + std::strerror(error);
}

// Reads at most one file's worth: the records we know and nothing beyond.
std::optional<std::vector<std::uint8_t>> readImage(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return std::nullopt;
    File file{std::fopen(path.c_str(), "rb")};
    if (!file)
        return std::nullopt;
    std::vector<std::uint8_t> image(kSettingsFileSize);
    const std::size_t got = std::fread(image.data(), 1, image.size(), file.get());
    if (std::ferror(file.get()))
        return std::nullopt;
    if (std::fclose(file.release()) != 0)
        return std::nullopt;
    image.resize(got);
    return image;
}

} // namespace

std::optional<std::string> oversizedField(const SettingsRecord& record)
{
    std::optional<std::string> tooLong;
    forEachField(record, [&](const auto& field) {
        if constexpr (std::is_same_v<std::decay_t<decltype(field)>, std::string>) {
            if (!tooLong && field.size() > kMaxStringBytes)
                tooLong = field;
        }
    });
    return tooLong;
}

std::vector<std::uint8_t> encodeSettings(const SettingsRecord& record)
{
    std::vector<std::uint8_t> image(kSettingsFileSize, 0);
    std::size_t index = 0;
    forEachField(record, [&](const auto& field) {
        FieldWriter{image.data() + kRecordSize * index++}(field);
    });
    return image;
}

std::optional<SettingsRecord> decodeSettings(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kSettingsFileSize)
        return std::nullopt;
    SettingsRecord record;
    bool damaged = false;
    std::size_t index = 0;
    forEachField(record, [&](auto& field) {
        FieldReader{bytes.data() + kRecordSize * index++, &damaged}(field);
    });
    if (damaged)
        return std::nullopt;
    return record;
}

std::optional<std::string> SaveSettings(const std::string& path, const SettingsRecord& record)
{
    if (const auto field = oversizedField(record))
        return "Cannot save the settings to " + path + ": a text of " + std::to_string(field->size())
            + " bytes does not fit (at most " + std::to_string(kMaxStringBytes) + ")";
    const std::vector<std::uint8_t> image = encodeSettings(record);

    // Update in place: "r+b" keeps what lies past our records, "w+b" only for a new file.
    File file{std::fopen(path.c_str(), "r+b")};
    if (!file && errno == ENOENT)
        file.reset(std::fopen(path.c_str(), "w+b"));
    if (!file)
        return describe("Cannot save the settings to", path, errno);
    if (std::fwrite(image.data(), 1, image.size(), file.get()) != image.size() || std::fflush(file.get()) != 0)
        return describe("Cannot save the settings to", path, errno);
    if (std::fclose(file.release()) != 0)
        return describe("Cannot save the settings to", path, errno);
    return std::nullopt;
}

LoadOutcome LoadSettings(const std::string& path, const std::string& strAppFolder, const LocalDateTime& now)
{
    LoadOutcome outcome;
    if (const auto image = readImage(path)) {
        if (auto record = decodeSettings(*image)) {
            outcome.record = std::move(*record);
            return outcome;
        }
    }
    outcome.failed = true;
    outcome.record = SetDefaultSettings(strAppFolder, now);
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec))
        std::filesystem::remove(path, ec);
    outcome.rewriteError = SaveSettings(path, outcome.record);
    return outcome;
}

std::int16_t TestPathExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec) && !ec ? 1 : 0;
}

} // namespace korvanteslin
