#include "control/request_guard.h"

#include "control/control_token.h"

namespace korvanteslin {

namespace {

// The names the API answers to: what a tool on this machine writes to reach it.
bool namesTheApi(const QString& authority, std::uint16_t port)
{
    const QString lower = authority.toLower();
    const QString suffix = QStringLiteral(":%1").arg(port);
    for (const char* host : {"127.0.0.1", "localhost", "[::1]"}) {
        const QString name = QLatin1String(host);
        // Port 80 is the one a client may leave out.
        if (lower == name + suffix || (port == 80 && lower == name))
            return true;
    }
    return false;
}

bool isJson(const QString& contentType)
{
    const QString type = contentType.section(QLatin1Char(';'), 0, 0).trimmed();
    return type.compare(QLatin1String("application/json"), Qt::CaseInsensitive) == 0;
}

// "Bearer TOKEN", the scheme's name in any case.
bool carries(const QStringList& authorizations, const QByteArray& token)
{
    if (authorizations.size() != 1)
        return false;
    const QByteArray value = authorizations.first().trimmed().toUtf8();
    const QByteArray scheme("bearer ");
    return value.size() > scheme.size() && value.first(scheme.size()).toLower() == scheme
        && sameToken(value.mid(scheme.size()).trimmed(), token);
}

std::optional<GuardRefusal> guardName(const RequestHead& head, std::uint16_t port)
{
    if (!namesTheApi(head.hosts.first().trimmed(), port))
        return GuardRefusal{421, {QStringLiteral("this server answers to 127.0.0.1:%1, localhost:%1 and [::1]:%1 only").arg(port),
                                     QStringLiteral("этот сервер отвечает только на 127.0.0.1:%1, localhost:%1 и [::1]:%1").arg(port)}};
    for (const QString& origin : head.origins) {
        const QString trimmed = origin.trimmed();
        const QLatin1String scheme("http://");
        if (!trimmed.startsWith(scheme, Qt::CaseInsensitive) || !namesTheApi(trimmed.mid(scheme.size()), port))
            return GuardRefusal{403, Wording{"requests from web pages are not accepted",
                                         "запросы с веб-страниц не принимаются"}};
    }
    return std::nullopt;
}

} // namespace

std::optional<GuardRefusal> guardRequest(const RequestHead& head, std::uint16_t port, const QByteArray& token)
{
    if (head.hosts.size() != 1)
        return GuardRefusal{400, Wording{"a request names its Host exactly once",
                                     "в запросе должен быть ровно один Host"}};
    const bool probe = (head.method == QLatin1String("GET") || head.method == QLatin1String("HEAD"))
        && head.path == QLatin1String("/health");
    if (token.isEmpty()) {
        if (auto refusal = guardName(head, port))
            return refusal;
    } else if (!probe && !carries(head.authorizations, token)) {
        return GuardRefusal{401, Wording{"this API needs its token: Authorization: Bearer TOKEN",
                                     "этому API нужен его токен: Authorization: Bearer TOKEN"}, true};
    }
    if (head.contentLengths.size() > 1 && head.contentLengths.count(head.contentLengths.first()) != head.contentLengths.size())
        return GuardRefusal{400, Wording{"the request gives two different lengths",
                                     "в запросе указаны две разные длины"}};
    const bool changes = head.method == QLatin1String("POST") || head.method == QLatin1String("DELETE");
    if (changes && (head.contentTypes.size() != 1 || !isJson(head.contentTypes.first())))
        return GuardRefusal{415, {QStringLiteral("a %1 request must have Content-Type: application/json").arg(head.method),
                                     QStringLiteral("у запроса %1 должен быть Content-Type: application/json").arg(head.method)}};
    return std::nullopt;
}

} // namespace korvanteslin
