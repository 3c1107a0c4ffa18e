#include "control/entry_rules.h"

#include <QRegularExpression>

#include <tuple>

#include "emulation/number_reading.h"
#include "serial/port_failure.h"
#include "serial/port_settings.h"
#include "serial/wording.h"

namespace korvanteslin {

namespace {

// %1 the field, %2 the value, %3 and %4 the limits or the format.
const Wording kNotANumber{"%1: \"%2\" is not a number", "%1: «%2» — не число"};
const Wording kNotWhole{"%1: \"%2\" is not a whole number from %3 to %4", "%1: «%2» — не целое число от %3 до %4"};
const Wording kTooLarge{"%1: %2 does not fit the format %3 (at most %4)", "%1: %2 не помещается в формат %3 (не более %4)"};
const Wording kTooPrecise{"%1: %2 has more decimals than the format %3 shows", "%1: у %2 больше знаков после запятой, чем в формате %3"};

// A plain decimal number, as a person types one: a sign, digits, a point or a comma.
std::optional<double> plainNumber(const QString& value)
{
    static const QRegularExpression plain(QStringLiteral("^-?([0-9]+([.,][0-9]*)?|[.,][0-9]+)$"));
    if (!plain.match(value).hasMatch())
        return std::nullopt;
    return readNumber(QString(value).replace(QLatin1Char(','), QLatin1Char('.')).toStdString());
}

} // namespace

std::optional<QString> numberRefusal(const QString& field, const QString& value, Language language)
{
    if (plainNumber(value))
        return std::nullopt;
    return worded(kNotANumber, language).arg(field, value);
}

std::optional<QString> weightRefusal(const QString& field, const QString& value, const DisplayFormat& format, Language language)
{
    const auto number = plainNumber(value);
    if (!number)
        return worded(kNotANumber, language).arg(field, value);
    if (std::abs(*number) > format.largest)
        return worded(kTooLarge, language).arg(field, value, QLatin1String(format.pattern), QString::number(format.largest));
    const std::string shown = normaliseDisplay(QString(value).replace(QLatin1Char(','), QLatin1Char('.')).toStdString(), format, '.');
    if (readNumber(shown) != *number)
        return worded(kTooPrecise, language).arg(field, value, QLatin1String(format.pattern));
    return std::nullopt;
}

std::optional<QString> wholeNumberRefusal(const QString& field, const QString& value, long lowest, long highest, Language language)
{
    static const QRegularExpression whole(QStringLiteral("^-?[0-9]{1,10}$"));
    const long number = value.toLong();
    if (whole.match(value).hasMatch() && number >= lowest && number <= highest)
        return std::nullopt;
    return worded(kNotWhole, language).arg(field, value).arg(lowest).arg(highest);
}

std::optional<QString> portBoxesRefusal(const PortBoxes& boxes, Language language)
{
    // Each number box within its field in the settings record; the stop bits may also be 1.5.
    const std::tuple<std::size_t, const char*, long> numbers[] = {
        {0, "number", 32767}, {1, "baud", 2147483647}, {3, "data_bits", 32767}, {4, "stop_bits", 32767}};
    for (const auto& [index, name, highest] : numbers) {
        const QString value = boxes[index].trimmed();
        if (index == 4 && value == QLatin1String("1.5"))
            continue;
        if (const auto refusal = wholeNumberRefusal(QLatin1String(name), value, 1, highest, language))
            return refusal;
    }
    PortFailure failure;
    failure.kind = PortFailure::Kind::BadSettings;
    failure.value = boxes[1].trimmed() + ',' + boxes[2].trimmed() + ',' + boxes[3].trimmed() + ',' + boxes[4].trimmed();
    if (!parsePortBoxes(boxes) || !parsePortSettings(failure.value.toStdString()))
        return wordPortFailure(failure, language);
    return std::nullopt;
}

} // namespace korvanteslin
