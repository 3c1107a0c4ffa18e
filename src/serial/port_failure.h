#pragma once

#include <QString>

#include <optional>

#include "emulation/names.h"
#include "serial/device_lock.h"

namespace korvanteslin {

// Why the port failed, as facts; worded only when it is shown, in the
// interface language in force then.
struct PortFailure {
    enum class Kind {
        None,
        // About the port number or the settings string; no device.
        NotAPort,
        BadSettings,
        NotOpen,
        StillSending,
        // About the device the number leads to.
        OpenWhileChoosing,
        DeviceGone,
        FramingUnavailable, // value: the settings string
        DataBitsNotTaken,   // value: the data bits
        ParityNotTaken,     // value: the parity letter
        StopBitsNotTaken,   // value: the stop bits
        Missing,
        Held,               // holder, when a lock file tells
        AccessDenied,       // systemReason
        System,             // systemReason
    };
    Kind kind = Kind::None;
    int number = 0;
    QString device;            // with " -> target" for a link that leads nowhere
    bool deviceForRun = false; // named with --device: the number does not lead there
    QString value;             // the refused setting or settings string
    QString systemReason;      // the system's own words
    std::optional<LockHolder> holder;

    explicit operator bool() const { return kind != Kind::None; }
};

// The failure for the operator, in `language`; empty for none. A device
// held by another program says so (and by which process, when known); when
// the system refused access, say how to get it, not only what it said.
QString wordPortFailure(const PortFailure& failure, Language language);

// A missing device said as a plain note, for a run whose frames have other
// lines to go to: nothing is wrong, the port is taken once it appears.
QString wordPortAbsence(const PortFailure& failure, Language language);

} // namespace korvanteslin
