#include "control/json_keys.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <set>
#include <vector>

namespace korvanteslin {

namespace {

// A string token as the parser reads it, escapes and all: "a" and "\u0061" are one name.
QString decoded(const QByteArray& token)
{
    return QJsonDocument::fromJson("[" + token + "]").array().at(0).toString();
}

// Where the string token that starts at `at` ends (one past its closing quote).
qsizetype endOfString(const QByteArray& json, qsizetype at)
{
    for (++at; at < json.size(); ++at) {
        if (json[at] == '\\')
            ++at;
        else if (json[at] == '"')
            return at + 1;
    }
    return json.size();
}

} // namespace

std::optional<QString> repeatedJsonKey(const QByteArray& json)
{
    // One entry per open object or array: the names seen so far, and whether
    // the next string there is a name.
    struct Open {
        bool object;
        bool expectName;
        std::set<QString> names;
    };
    std::vector<Open> open;
    for (qsizetype at = 0; at < json.size();) {
        const char c = json[at];
        if (c == '"') {
            const qsizetype end = endOfString(json, at);
            if (!open.empty() && open.back().object && open.back().expectName) {
                const QString name = decoded(json.mid(at, end - at));
                if (!open.back().names.insert(name).second)
                    return name;
                open.back().expectName = false;
            }
            at = end;
            continue;
        }
        if (c == '{' || c == '[')
            open.push_back({c == '{', c == '{', {}});
        else if ((c == '}' || c == ']') && !open.empty())
            open.pop_back();
        else if (c == ',' && !open.empty() && open.back().object)
            open.back().expectName = true;
        ++at;
    }
    return std::nullopt;
}

} // namespace korvanteslin
