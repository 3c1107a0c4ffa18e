#include "serial/port_failure.h"

#include <array>

#include "serial/wording.h"

namespace korvanteslin {

namespace {

struct FailureRow {
    PortFailure::Kind kind;
    Wording wording;
};

// %1 is the port number or the refused value, %2 the holder's process.
constexpr std::array kFailures{
    FailureRow{PortFailure::Kind::NotAPort,
        {"COM%1 is not a port: port numbers start at 1", "COM%1 — не порт: номера портов начинаются с 1"}},
    FailureRow{PortFailure::Kind::BadSettings,
        {"\"%1\" is not a valid port setting; expected rate,parity,data bits,stop bits such as 9600,n,8,1",
            "«%1» — недопустимые параметры порта; нужно: скорость,чётность,биты данных,стоповые биты, "
            "например 9600,n,8,1"}},
    FailureRow{PortFailure::Kind::NotOpen, {"COM%1 is not open", "COM%1 не открыт"}},
    FailureRow{PortFailure::Kind::StillSending,
        {"COM%1 is still sending the previous frame; frame dropped",
            "COM%1 ещё передаёт предыдущую посылку; посылка пропущена"}},
    FailureRow{PortFailure::Kind::OpenWhileChoosing,
        {"the port is open; close it before choosing another", "порт открыт; закройте его, прежде чем выбрать другой"}},
    FailureRow{PortFailure::Kind::DeviceGone, {"the device is gone", "устройство пропало"}},
    FailureRow{PortFailure::Kind::FramingUnavailable,
        {"this system cannot set a line to %1", "эта система не может настроить линию на %1"}},
    FailureRow{PortFailure::Kind::DataBitsNotTaken,
        {"the device does not take %1 data bits", "устройство не принимает %1 бит данных"}},
    FailureRow{PortFailure::Kind::ParityNotTaken,
        {"the device does not take parity '%1'", "устройство не принимает чётность «%1»"}},
    FailureRow{PortFailure::Kind::StopBitsNotTaken,
        {"the device does not take %1 stop bits", "устройство не принимает %1 стоповых бита"}},
    FailureRow{PortFailure::Kind::Missing, {"no such device", "нет такого устройства"}},
    FailureRow{PortFailure::Kind::Held, {"in use by another program", "занят другой программой"}},
};

const Wording heldByProcess{"in use by another program: %1 (process %2)", "занят другой программой: %1 (процесс %2)"};
const Wording heldByPid{"in use by another program (process %1)", "занят другой программой (процесс %1)"};
const Wording accessHint{
    ". Serial devices belong to the \"dialout\" group: add yourself with \"sudo adduser $USER dialout\", "
    "then log out and in again.",
    ". Последовательные порты принадлежат группе «dialout»: добавьте себя в неё командой "
    "«sudo adduser $USER dialout», затем выйдите из системы и войдите снова."};

QString rowText(const PortFailure& failure, Language language)
{
    for (const FailureRow& row : kFailures)
        if (row.kind == failure.kind)
            return worded(row.wording, language);
    return QStringLiteral("%1");
}

// What the failure says about itself, without the port and device it names.
QString reason(const PortFailure& failure, Language language)
{
    using Kind = PortFailure::Kind;
    switch (failure.kind) {
    case Kind::NotAPort:
    case Kind::NotOpen:
    case Kind::StillSending:
        return rowText(failure, language).arg(failure.number);
    case Kind::Held:
        if (failure.holder && failure.holder->name.isEmpty())
            return worded(heldByPid, language).arg(failure.holder->pid);
        if (failure.holder)
            return worded(heldByProcess, language).arg(failure.holder->name).arg(failure.holder->pid);
        return rowText(failure, language);
    case Kind::AccessDenied:
        return failure.systemReason + worded(accessHint, language);
    case Kind::System:
        return failure.systemReason;
    case Kind::BadSettings:
    case Kind::FramingUnavailable:
    case Kind::DataBitsNotTaken:
    case Kind::ParityNotTaken:
    case Kind::StopBitsNotTaken:
        return rowText(failure, language).arg(failure.value);
    default:
        return rowText(failure, language);
    }
}

bool namesNoDevice(PortFailure::Kind kind)
{
    using Kind = PortFailure::Kind;
    return kind == Kind::NotAPort || kind == Kind::BadSettings || kind == Kind::NotOpen || kind == Kind::StillSending;
}

const Wording absence{"COM%1 (%2) is not there: the frames go to the other lines, and to COM%1 once it appears",
    "COM%1 (%2) нет: посылки идут в другие линии, а в COM%1 — как только он появится"};

} // namespace

QString wordPortAbsence(const PortFailure& failure, Language language)
{
    return worded(absence, language).arg(QString::number(failure.number), failure.device);
}

QString wordPortFailure(const PortFailure& failure, Language language)
{
    if (!failure)
        return {};
    const QString said = reason(failure, language);
    if (namesNoDevice(failure.kind))
        return said;
    // A device named for the run is what the user asked for: the port number does not lead there.
    if (failure.deviceForRun)
        return QStringLiteral("%1: %2").arg(failure.device, said);
    return QStringLiteral("COM%1 (%2): %3").arg(QString::number(failure.number), failure.device, said);
}

} // namespace korvanteslin
