#pragma once

#include "emulation/names.h"
#include <cstdint>
#include <string>
#include <utility>

namespace korvanteslin {

// What the shell has to tell the operator: about the settings file, the data
// and results folders, and another copy of the program. The facts are kept
// apart from the words so that a message is worded in the interface language
// in force when it is shown, not when it arose.
enum class MessageId {
    CannotSaveSettings,     // path, reason
    TextTooLongToSave,      // path, number: the text's length in bytes
    CannotCreateFolder,     // path, reason
    ResultsFolderTooLong,   // path: the folder, number: its length in bytes
    CannotReadSettings,     // path, reason
    SettingsFileNotUsed,    // path, reason: what stands there instead of a file
    AlreadyRunning,         // path: the data folder, number: the other copy's process
    AlreadyRunningUnknownProcess, // path: the data folder
    NoDisplay,              // nothing: the window has no display to open on
    WindowModuleMissing,    // path: the window's module, reason: why it cannot be loaded
    // The command line. path: the option or the argument as given; detail: its value.
    UnknownOption,
    MissingOptionValue,
    UnexpectedOptionValue,
    UnexpectedArgument,
    EmptyOptionValue,       // path: the option's name
    ControlCharacterInPath, // path: the option's name
    BadAddress,             // path: the option's name, detail: the value
    ControlNotLoopback,     // path: the host asked for, with no token given
    ControlTokenUnreadable, // path: the token's file, reason
    ControlTokenUnusable,   // path: the token's file or variable
    // The run's other lines. path: the link or the address.
    VirtualPortTaken,
    NoPseudoTerminal,       // reason
    VirtualPortFailed,      // reason
    TcpCannotListen,        // reason
    ControlCannotListen,    // reason
    TcpClientRefused,       // path: the client's address, number: the most clients taken
    Rfc2217CannotListen,    // reason
    Rfc2217ClientRefused,   // path: the client's address, number: the most clients taken
    ReaderSetOtherwise,     // path: the reader's address or link, detail: its end of the line
};

// What stands at a path where a regular file was expected. When it is not
// None it is the reason a message gives, in place of a system error.
enum class EntryKind { None, Link, Folder, Fifo, Device, Socket, Other };

struct ShellMessage {
    MessageId id = MessageId::CannotSaveSettings;
    std::string path; // as the file system spells it (the system's 8-bit encoding)
    std::string detail; // a value as given (UTF-8)
    int error = 0;    // the system's error number
    EntryKind kind = EntryKind::None;
    std::int64_t number = 0;

    bool operator==(const ShellMessage&) const = default;
};

// A failure at `path`, for the system's reason `error` or because of what stands there.
inline ShellMessage failureAt(MessageId id, std::string path, int error, EntryKind kind = EntryKind::None)
{
    ShellMessage message;
    message.id = id;
    message.path = std::move(path);
    message.error = error;
    message.kind = kind;
    return message;
}

// A message about `path` that carries a size or a process number.
inline ShellMessage countAt(MessageId id, std::string path, std::int64_t number)
{
    ShellMessage message;
    message.id = id;
    message.path = std::move(path);
    message.number = number;
    return message;
}

// A fact about `subject` (an option, an address) and the value given for it.
inline ShellMessage refusalOf(MessageId id, std::string subject, std::string detail = {})
{
    ShellMessage message;
    message.id = id;
    message.path = std::move(subject);
    message.detail = std::move(detail);
    return message;
}

// The message in the interface language (English before the settings are
// read), as UTF-8 text.
std::string wordMessage(const ShellMessage& message, Language language);

} // namespace korvanteslin
