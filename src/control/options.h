#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "shell/shell_messages.h"

#include <cstdint>
#include <optional>
#include <variant>

namespace korvanteslin {

// Where a server listens: the control API or the frames' TCP servers.
struct ControlAddress {
    QString host;            // numeric: "127.0.0.1", "127.3.4.5" or "::1"
    std::uint16_t port = 0;  // 0: a free one, picked when listening
};

// One run's command line. The defaults are the program started with no
// arguments: a window, the port from the settings file, no extra outlets.
struct Options {
    bool headless = false;
    QString device;       // empty: the port number from the settings leads to the device
    QString virtualPath;  // empty: no virtual port
    std::optional<ControlAddress> control;
    QByteArray controlToken; // empty: none; never printed
    std::optional<ControlAddress> tcp; // the frames' TCP server, when asked for
    std::optional<ControlAddress> rfc2217; // the frames' RFC 2217 server, when asked for
    bool lineRate = false;             // pace frames at the set line's own rate
    bool strictLine = false;           // a reader set otherwise gets what its UART would decode
    bool printFrames = false;
    QString dataDir;      // empty: the data folder from ProgramFiles or the platform
};

// What main prints and returns instead of starting: help, version or a usage
// error. A usage error is a fact, worded by main in the interface language of
// the data folder asked for, then the help.
struct OptionsExit {
    int exitCode = 0;
    QString out;  // for standard output
    QString err;  // for standard error, after the refusal
    std::optional<ShellMessage> refusal;
    QString dataDir; // --data-dir, when it was given before the refusal
};

inline constexpr int kUsageExitCode = 2;

// Reads the arguments (the program's name first, as QCoreApplication::arguments()
// gives them), and the control API's token from its file or `environment`.
// Never ends the process: main prints the texts and returns the code.
std::variant<Options, OptionsExit> parseOptions(
    const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace korvanteslin
