#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

#include "emulation/cycle_mode.h"
#include "emulation/terminal.h"
#include "serial/comm_port.h"
#include "serial/frame_outlet.h"
#include "shell/data_folder_lock.h"
#include "shell/settings_record.h"
#include "shell/shell_messages.h"
#include "station/frame_timer.h"

namespace korvanteslin {

// What a save came to: the file written, or why not (nothing when the file
// was left alone at start-up and is not this run's to write).
struct SaveOutcome {
    bool saved = false;
    std::optional<ShellMessage> failure;
};

// One running emulator: the settings record, the terminal, cycle mode, the
// port and the outlet every frame leaves through, the run's timers and its
// data folder. It knows no widget: the window shows these parts and the
// control API reads them; both reach the port and the outlet only here.
class Station : public QObject {
    Q_OBJECT

public:
    explicit Station(QObject* parent = nullptr);
    ~Station() override;

    CommPort& port() { return MSComm1; }
    FrameOutlet& outlet() { return Outlet; }
    const SettingsRecord& settings() const { return Settings; }
    const Terminal& terminal() const { return Terminal1; }
    const CycleMode& cycle() const { return Cycle; }
    // The sending period in force, in milliseconds; 0 once the run has stopped sending.
    int sendPeriod() const { return Timer1.interval(); }
    // The last frame built, as a receiving side reads it.
    OutgoingFrame outgoingFrame() const;

    // Values the operator changes in the terminal and cycle mode go back into
    // the record before it is written.
    void collectSettings();
    // The record, written whole, unless the file was left alone at start-up:
    // it may hold the operator's good settings that this run could not read.
    SaveOutcome saveSettings();

    // The run's parts, named as the handlers that work them name them.
    SettingsRecord Settings;
    Terminal Terminal1;
    CycleMode Cycle;
    FrameTimer Timer1; // the transmission tick
    QTimer Timer2;     // the deferred re-opening of the port
    QTimer Timer3;     // cycle mode's one-second tick
    CommPort MSComm1;
    FrameOutlet Outlet{MSComm1};
    std::string strAppFolder;
    std::string strMonthFolder;
    std::unique_ptr<DataFolderLock> dataFolderLock; // this copy's claim on the data folder
    bool mayWriteSettings = false;                  // the settings file is ours to write in this run
};

} // namespace korvanteslin
