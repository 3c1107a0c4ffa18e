#include "shell/shell_messages.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "emulation/wording.h"
#include "shell/platform_paths.h"
#include "shell/settings_file.h"

namespace korvanteslin {

namespace {

struct MessageRow {
    MessageId id;
    Wording text;
};

// {path}, {reason}, {number} and {limit} stand for the message's facts.
constexpr std::array kMessages{
    MessageRow{MessageId::CannotSaveSettings,
        "Cannot save the settings to {path}: {reason}",
        "Не удалось сохранить настройки в файл {path}: {reason}"},
    MessageRow{MessageId::TextTooLongToSave,
        "Cannot save the settings to {path}: a text of {number} bytes does not fit (at most {limit})",
        "Не удалось сохранить настройки в файл {path}: текст длиной {number} байт не помещается (не более {limit})"},
    MessageRow{MessageId::CannotCreateFolder,
        "Cannot create the folder {path}: {reason}",
        "Не удалось создать папку {path}: {reason}"},
    MessageRow{MessageId::ResultsFolderTooLong,
        "The folder cannot be used for results: its path is {number} bytes long with the closing separator, "
        "and at most {limit} bytes can be kept in the settings. The results folder stays as it was. Folder: {path}",
        "Эту папку нельзя выбрать для результатов: её путь вместе с завершающим разделителем занимает {number} "
        "байт, а в настройках помещается не более {limit} байт. Папка для результатов осталась прежней. "
        "Папка: {path}"},
    MessageRow{MessageId::CannotReadSettings,
        "Cannot read the settings file {path}: {reason}. The program runs on the default settings and leaves "
        "the file as it is; changes made in this run are not saved.",
        "Не удалось прочитать файл настроек {path}: {reason}. Программа работает с настройками по умолчанию "
        "и оставляет файл как есть; изменения в этом сеансе не сохраняются."},
    MessageRow{MessageId::SettingsFileNotUsed,
        "The settings file {path} is not used: {reason}. The program runs on the default settings and leaves "
        "it as it is; changes made in this run are not saved.",
        "Файл настроек {path} не используется: {reason}. Программа работает с настройками по умолчанию "
        "и оставляет его как есть; изменения в этом сеансе не сохраняются."},
    MessageRow{MessageId::AlreadyRunning,
        "The emulator is already running on the data folder {path} (process {number}). This copy ends "
        "without touching the settings or the serial port.",
        "Эмулятор уже запущен с папкой данных {path} (процесс {number}). Эта копия завершается, "
        "не трогая ни настройки, ни последовательный порт."},
    MessageRow{MessageId::AlreadyRunningUnknownProcess,
        "The emulator is already running on the data folder {path}. This copy ends without touching the "
        "settings or the serial port.",
        "Эмулятор уже запущен с папкой данных {path}. Эта копия завершается, не трогая ни настройки, "
        "ни последовательный порт."},
    MessageRow{MessageId::NoDisplay,
        "No display was found, so the window cannot open. To run without a window: "
        "korvanteslin --headless --virtual ~/scale",
        "Дисплей не найден, поэтому окно открыть нельзя. Без окна: korvanteslin --headless --virtual ~/scale"},
    MessageRow{MessageId::WindowModuleMissing,
        "The window cannot open: its module {path} cannot be loaded ({reason}). "
        "To run without a window: korvanteslin --headless --virtual ~/scale",
        "Окно открыть нельзя: его модуль {path} не загружается ({reason}). "
        "Без окна: korvanteslin --headless --virtual ~/scale"},
    MessageRow{MessageId::UnknownOption, "Unknown option '{path}'.", "Неизвестный параметр «{path}»."},
    MessageRow{MessageId::MissingOptionValue, "Missing value after '{path}'.", "Нет значения после «{path}»."},
    MessageRow{MessageId::UnexpectedOptionValue, "Unexpected value after '{path}'.", "Лишнее значение после «{path}»."},
    MessageRow{MessageId::UnexpectedArgument, "Unexpected argument '{path}'.", "Лишний аргумент «{path}»."},
    MessageRow{MessageId::EmptyOptionValue, "Empty value for --{path}.", "Пустое значение для --{path}."},
    MessageRow{MessageId::ControlCharacterInPath,
        "Bad value for --{path}: a path may not hold a line break or another control character.",
        "Недопустимое значение для --{path}: в пути не может быть перевода строки или другого управляющего символа."},
    MessageRow{MessageId::BadAddress,
        "Bad value for --{path}: '{detail}' (expected [HOST:]PORT, PORT from 0 to 65535).",
        "Недопустимое значение для --{path}: «{detail}» (ожидается [HOST:]PORT, PORT от 0 до 65535)."},
    MessageRow{MessageId::ControlNotLoopback,
        "Refused --control host '{path}': beyond loopback addresses (127.0.0.0/8, ::1, localhost) the control API "
        "is served only with a token: give --control-token-file FILE or set KORVANTESLIN_CONTROL_TOKEN.",
        "Адрес --control «{path}» отклонён: за пределами локальных адресов (127.0.0.0/8, ::1, localhost) API "
        "управления работает только с токеном: укажите --control-token-file FILE или задайте KORVANTESLIN_CONTROL_TOKEN."},
    MessageRow{MessageId::ControlTokenUnreadable,
        "The control API's token cannot be read from {path}: {reason}.",
        "Токен API управления нельзя прочитать из {path}: {reason}."},
    MessageRow{MessageId::ControlTokenUnusable,
        "The control API's token in {path} is unusable: it must be one line of 16 to 4096 printable characters "
        "without blanks.",
        "Токен API управления в {path} непригоден: нужна одна строка из 16–4096 печатных символов без пробелов."},
    MessageRow{MessageId::VirtualPortTaken,
        "The virtual port cannot be made at {path}: it exists and is not a link this program made.",
        "Виртуальный порт нельзя создать в {path}: это имя занято, и это не ссылка, сделанная этой программой."},
    MessageRow{MessageId::NoPseudoTerminal,
        "The virtual port cannot be made at {path}: no pseudo-terminal ({reason}).",
        "Виртуальный порт нельзя создать в {path}: нет псевдотерминала ({reason})."},
    MessageRow{MessageId::VirtualPortFailed,
        "The virtual port cannot be made at {path}: {reason}.",
        "Виртуальный порт нельзя создать в {path}: {reason}."},
    MessageRow{MessageId::TcpCannotListen,
        "The frames' TCP server cannot listen on {path}: {reason}.",
        "TCP-сервер кадров не может принимать соединения на {path}: {reason}."},
    MessageRow{MessageId::ControlCannotListen,
        "The control API cannot listen on {path}: {reason}.",
        "API управления не может принимать соединения на {path}: {reason}."},
    MessageRow{MessageId::TcpClientRefused,
        "Closed the TCP connection from {path}: {number} clients are connected already, the most the frames' "
        "server takes.",
        "TCP-соединение с {path} закрыто: уже подключено {number} клиентов, больше сервер кадров не принимает."},
    MessageRow{MessageId::Rfc2217CannotListen,
        "The frames' RFC 2217 server cannot listen on {path}: {reason}.",
        "RFC 2217-сервер кадров не может принимать соединения на {path}: {reason}."},
    MessageRow{MessageId::Rfc2217ClientRefused,
        "Closed the RFC 2217 connection from {path}: {number} clients are connected already, the most the frames' "
        "server takes.",
        "RFC 2217-соединение с {path} закрыто: уже подключено {number} клиентов, больше сервер кадров не принимает."},
    MessageRow{MessageId::ReaderSetOtherwise,
        "The reader at {path} set its end of the line to {detail}, not as the port is set: on a real line it "
        "would read garbage.",
        "Получатель на {path} настроил свой конец линии на {detail}, не так, как настроен порт: на настоящей "
        "линии он читал бы мусор."},
};

struct KindRow {
    EntryKind kind;
    Wording text;
};

constexpr std::array kKinds{
    KindRow{EntryKind::Link, "it is a symbolic link, and the settings are never read or written through a link",
        "это символическая ссылка, а настройки никогда не читаются и не записываются через ссылку"},
    KindRow{EntryKind::Folder, "it is a folder", "это папка"},
    KindRow{EntryKind::Fifo, "it is a named pipe", "это именованный канал"},
    KindRow{EntryKind::Device, "it is a device", "это устройство"},
    KindRow{EntryKind::Socket, "it is a socket", "это сокет"},
    KindRow{EntryKind::Other, "it is not a regular file", "это не обычный файл"},
};

struct ErrorRow {
    int error;
    Wording text;
};

// The system's reasons that storage runs into, in both languages whatever
// language the system speaks; any other falls back to the system's own words.
constexpr std::array kErrors{
    ErrorRow{EACCES, "Permission denied", "Отказано в доступе"},
    ErrorRow{EPERM, "Operation not permitted", "Операция не позволена"},
    ErrorRow{ENOENT, "No such file or directory", "Нет такого файла или каталога"},
    ErrorRow{ENOTDIR, "Not a directory", "Это не каталог"},
    ErrorRow{EISDIR, "Is a directory", "Это каталог"},
    ErrorRow{ENOSPC, "No space left on device", "На устройстве не осталось свободного места"},
    ErrorRow{EDQUOT, "Disk quota exceeded", "Превышена дисковая квота"},
    ErrorRow{EROFS, "Read-only file system", "Файловая система доступна только для чтения"},
    ErrorRow{EIO, "Input/output error", "Ошибка ввода-вывода"},
    ErrorRow{ELOOP, "Too many levels of symbolic links", "Слишком много уровней символических ссылок"},
    ErrorRow{ENAMETOOLONG, "File name too long", "Слишком длинное имя файла"},
    ErrorRow{EEXIST, "File exists", "Файл существует"},
    ErrorRow{EINTR, "Interrupted system call", "Прерван системный вызов"},
    ErrorRow{EBUSY, "Device or resource busy", "Устройство или ресурс занято"},
    ErrorRow{EMFILE, "Too many open files", "Слишком много открытых файлов"},
    ErrorRow{EADDRINUSE, "Address already in use", "Адрес уже используется"},
    ErrorRow{EADDRNOTAVAIL, "Cannot assign requested address", "Невозможно назначить запрошенный адрес"},
    ErrorRow{EAFNOSUPPORT, "Address family not supported by protocol", "Семейство адресов не поддерживается протоколом"},
    ErrorRow{EALREADY, "Operation already in progress", "Операция уже выполняется"},
    ErrorRow{EINVAL, "Invalid argument", "Недопустимый аргумент"},
    ErrorRow{ENFILE, "Too many open files in system", "Слишком много открытых файлов в системе"},
    ErrorRow{ELIBBAD, "Accessing a corrupted shared library", "Обращение к повреждённой разделяемой библиотеке"},
};

std::string reasonText(const ShellMessage& message, Language language)
{
    for (const KindRow& row : kKinds)
        if (row.kind == message.kind)
            return row.text.in(language);
    for (const ErrorRow& row : kErrors)
        if (row.error == message.error)
            return row.text.in(language);
    return std::strerror(message.error);
}

} // namespace

std::string wordMessage(const ShellMessage& message, Language language)
{
    std::string_view pattern;
    for (const MessageRow& row : kMessages)
        if (row.id == message.id)
            pattern = row.text.in(language);

    std::string text;
    for (std::size_t at = 0; at < pattern.size();) {
        const std::size_t open = pattern.find('{', at);
        const std::size_t close = open == std::string_view::npos ? open : pattern.find('}', open);
        if (close == std::string_view::npos) {
            text += pattern.substr(at);
            break;
        }
        text += pattern.substr(at, open - at);
        const std::string_view name = pattern.substr(open + 1, close - open - 1);
        if (name == "path")
            text += utf8FromLocal(message.path);
        else if (name == "detail")
            text += message.detail;
        else if (name == "reason")
            text += reasonText(message, language);
        else if (name == "number")
            text += std::to_string(message.number);
        else if (name == "limit")
            text += std::to_string(kMaxStringBytes);
        at = close + 1;
    }
    return text;
}

} // namespace korvanteslin
