#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QProcessEnvironment>
#include <QString>

#include <variant>

#include "shell/shell_messages.h"

namespace korvanteslin {

// The variable a token may come in when no file names it (a container's
// orchestrator hands secrets over either way).
inline constexpr char kControlTokenVariable[] = "KORVANTESLIN_CONTROL_TOKEN";

// The control API's token, from the file `file` names, else from the
// environment: nothing when neither gives one, or why the one given cannot
// be used. A line break or blanks around it are dropped (`echo` adds one).
std::variant<std::monostate, QByteArray, ShellMessage> controlToken(const QString& file, const QProcessEnvironment& environment);

// Whether `given` is `token`, in a time that tells nothing of where they
// differ or of the token's length.
bool sameToken(QByteArrayView given, QByteArrayView token);

} // namespace korvanteslin
