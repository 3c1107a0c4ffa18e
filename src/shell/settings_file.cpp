#include "shell/settings_file.h"

#include <unistd.h>

#include <bit>
#include <cstring>
#include <filesystem>

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

std::optional<ShellMessage> SaveSettings(
    const std::string& path, const SettingsRecord& record, const SaveStepHook& beforeStep)
{
    if (const auto field = oversizedField(record))
        return countAt(MessageId::TextTooLongToSave, path, std::int64_t(field->size()));
    std::vector<std::uint8_t> image = encodeSettings(record);

    // Only what the old file is, not what it holds: whatever follows the
    // records is carried over by the copy, a piece at a time.
    const FileRead old = readRegularFile(path, 0, 0);
    if (old.state == FileRead::State::Refused)
        return failureAt(MessageId::CannotSaveSettings, path, old.error, old.kind);
    if (const int error = replaceFile(path, image, old, beforeStep, kSettingsFileSize))
        return failureAt(MessageId::CannotSaveSettings, path, error);
    return std::nullopt;
}

LoadOutcome LoadSettings(const std::string& path, const std::string& strAppFolder, const LocalDateTime& now)
{
    LoadOutcome outcome;
    const FileRead file = readRegularFile(path, 0, kSettingsFileSize);
    switch (file.state) {
    case FileRead::State::Read:
        if (auto record = decodeSettings(file.bytes)) {
            outcome.record = std::move(*record);
            return outcome;
        }
        // Bytes that were read and found damaged: the only file that is replaced.
        outcome.source = SettingsSource::Replaced;
        ::unlink(path.c_str());
        break;
    case FileRead::State::Missing:
        outcome.source = SettingsSource::Created;
        break;
    case FileRead::State::Refused:
        // A permission bit or a pipe is no reason to destroy the operator's settings.
        outcome.source = SettingsSource::LeftAlone;
        outcome.record = SetDefaultSettings(strAppFolder, now);
        outcome.problem = failureAt(
            file.kind == EntryKind::None ? MessageId::CannotReadSettings : MessageId::SettingsFileNotUsed, path,
            file.error, file.kind);
        return outcome;
    }
    outcome.record = SetDefaultSettings(strAppFolder, now);
    outcome.problem = SaveSettings(path, outcome.record);
    return outcome;
}

std::int16_t TestPathExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec) && !ec ? 1 : 0;
}

} // namespace korvanteslin
