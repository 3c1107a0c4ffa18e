#pragma once

// A request's JSON body, checked against what its route takes before anything
// is done: a request is carried out whole or not at all.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <variant>

#include "control/json_keys.h"
#include "control/words.h"

namespace korvanteslin {

// A request that cannot be carried out: its status and why.
struct Refusal {
    int status;
    Words error;
};

// The body's fields, checked against what the request takes before anything
// is done: a request is carried out whole or not at all.
class Body {
public:
    static std::variant<Body, Refusal> parse(const QByteArray& bytes, std::initializer_list<const char*> known)
    {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return Refusal{400, Wording{"the body is not a JSON object", "тело запроса — не объект JSON"}};
        // The parser keeps one of two equal names silently; which one the
        // sender meant cannot be known.
        if (const auto name = repeatedJsonKey(bytes))
            return Refusal{400, {QStringLiteral("field \"%1\" is given twice").arg(*name), QStringLiteral("поле «%1» указано дважды").arg(*name)}};
        const QJsonObject object = document.object();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (std::find_if(known.begin(), known.end(), [&](const char* name) { return it.key() == QLatin1String(name); })
                == known.end())
                return Refusal{400, {QStringLiteral("unknown field \"%1\"").arg(it.key()), QStringLiteral("неизвестное поле «%1»").arg(it.key())}};
        }
        if (object.isEmpty())
            return Refusal{400, Wording{"the body names nothing to change", "в теле запроса нечего менять"}};
        return Body(object);
    }

    // A text field, if given; a wrong type is noted and refuses the request.
    std::optional<QString> text(const char* name)
    {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isUndefined())
            return std::nullopt;
        if (!value.isString()) {
            wrong(name, Wording{"a string", "строкой"});
            return std::nullopt;
        }
        return value.toString();
    }

    std::optional<bool> flag(const char* name)
    {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isUndefined())
            return std::nullopt;
        if (!value.isBool()) {
            wrong(name, Wording{"true or false", "true или false"});
            return std::nullopt;
        }
        return value.toBool();
    }

    // A whole number from 0 to `largest`, if given.
    std::optional<qint64> count(const char* name, qint64 largest)
    {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isUndefined())
            return std::nullopt;
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number < 0 || number > double(largest) || number != std::floor(number)) {
            wrong(name, {QStringLiteral("a whole number from 0 to %1").arg(largest), QStringLiteral("целым числом от 0 до %1").arg(largest)});
            return std::nullopt;
        }
        return qint64(number);
    }

    // Bytes written as hex digits, blanks allowed between them.
    std::optional<QByteArray> hexBytes(const char* name, qsizetype largest)
    {
        const std::optional<QString> given = text(name);
        if (!given)
            return std::nullopt;
        QString digits = *given;
        digits.remove(QLatin1Char(' '));
        static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
        if (!hex.match(digits).hasMatch() || digits.size() / 2 > largest) {
            wrong(name, {QStringLiteral("hex bytes such as \"FF 00\", at most %1 of them").arg(largest),
                            QStringLiteral("байтами в шестнадцатеричной записи, например «FF 00», не более %1").arg(largest)});
            return std::nullopt;
        }
        return QByteArray::fromHex(digits.toLatin1());
    }

    void refuse(const Words& why)
    {
        if (!problem)
            problem = Refusal{400, why};
    }

    // A text that must be one of `choices`: its index.
    template <std::size_t N>
    std::optional<int> choice(const char* name, const std::array<const char*, N>& choices)
    {
        const std::optional<QString> given = text(name);
        if (!given)
            return std::nullopt;
        for (std::size_t i = 0; i < N; ++i)
            if (*given == QLatin1String(choices[i]))
                return int(i);
        wrong(name, Wording{"one of the listed values", "одним из перечисленных значений"});
        return std::nullopt;
    }

    // The first problem found, or nothing when the request can go ahead.
    std::optional<Refusal> refusal() const { return problem; }
    // A field that must be there.
    void require(const char* name)
    {
        if (!problem && !object.contains(QLatin1String(name)))
            problem = Refusal{400, {QStringLiteral("\"%1\" is missing").arg(QLatin1String(name)),
                                       QStringLiteral("нет поля «%1»").arg(QLatin1String(name))}};
    }

private:
    explicit Body(QJsonObject given)
        : object(std::move(given))
    {
    }
    void wrong(const char* name, const Words& expected)
    {
        if (!problem)
            problem = Refusal{400, {QStringLiteral("\"%1\" must be %2").arg(QLatin1String(name), expected.english),
                                       QStringLiteral("«%1» должно быть %2").arg(QLatin1String(name), expected.russian)}};
    }

    QJsonObject object;
    std::optional<Refusal> problem;
};

} // namespace korvanteslin
