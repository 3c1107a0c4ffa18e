#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace korvanteslin {

// The first name that appears twice in one object of a JSON text already
// known to be valid, decoded; nothing when every object's names differ.
std::optional<QString> repeatedJsonKey(const QByteArray& json);

} // namespace korvanteslin
