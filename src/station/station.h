#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulation/cycle_mode.h"
#include "emulation/terminal.h"
#include "serial/comm_port.h"
#include "serial/frame_outlet.h"
#include "shell/data_folder_lock.h"
#include "shell/local_time.h"
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

// The data folder a run uses: `folderForRun` when given, else the one the
// environment gives. Nothing is made here.
std::string dataFolderFor(const QString& folderForRun);
// The interface language the settings file in `dataFolder` holds, read
// without touching the file; English when it cannot be read.
Language storedLanguage(const std::string& dataFolder);

// One running emulator: the settings record, the terminal, cycle mode, the
// port and the outlet every frame leaves through, the run's timers and its
// data folder, and the texts of the boxes its handlers read. It knows no
// widget. The operator's actions are its methods, each named in its comment
// by the window's handler that runs it; the window and the control API call
// the same methods, and whoever shows the run learns what changed through
// `changed`.
class Station : public QObject {
    Q_OBJECT

public:
    // What changed: one or more of these bits.
    enum Change : unsigned {
        EntriesChanged = 1u << 0,   // Text9: the weight entries as typed
        LoadsChanged = 1u << 1,     // Text2 and the display format
        LoadLampsChanged = 1u << 2, // the load in force
        SignalsChanged = 1u << 3,
        ModelChanged = 1u << 4,
        BoxesChanged = 1u << 5,     // the texts of Text1, Text4, Text7 and the port boxes
        OscillationApplied = 1u << 6,
        CycleShown = 1u << 7,       // the cycle count shown
        CycleSwitched = 1u << 8,    // the cycle switch
        LanguageChanged = 1u << 9,
        PortChanged = 1u << 10,     // opened or closed, its number and settings string, the cable
        FrameBuilt = 1u << 11,
        PeriodChanged = 1u << 12,
        ResultsFolderChanged = 1u << 13,
    };

    explicit Station(QObject* parent = nullptr);
    ~Station() override;

    // The calendar "today" is read from; the system clock unless replaced.
    void setClock(std::function<LocalDateTime()> clock);
    LocalDateTime today() const { return clock(); }
    // A data folder for this run instead of the one the environment gives;
    // made with its parents at start-up.
    void setDataFolder(const QString& folder);

    // Start-up (Form_Load, all but the window's icon): runs once. False when
    // another copy runs on the same data folder: this one has touched
    // neither the settings file nor the port, has said so, and must end.
    bool Form_Load();
    // The close sequence (Form_Unload): port closed, then settings saved.
    void Form_Unload();
    // Exit in the menu (mnu_Exit_Click): settings saved, then the program ends at once.
    void mnu_Exit_Click();
    // An end asked for from outside (a termination signal): the close
    // sequence, then the program ends.
    void endOnRequest();
    // The desktop session is ending: the settings are saved now, in case the
    // program is not asked again. Closing afterwards saves only what changed since.
    void commitSessionData();
    // Exit, a close or a request to end has run (or start-up gave way to another copy).
    bool hasEnded() const { return ending; }

    // Where messages for the operator go, worded already; none are lost
    // before one is set, they are just not shown.
    void setReporter(std::function<void(const QString&)> reporter);
    // The frames have other lines than the serial port and no device was
    // asked for: a port missing at start-up is a note, not a failure.
    void setSerialPortOptional(bool optional) { serialPortOptional = optional; }
    void report(const QString& text);
    // One message for all of them, in the interface language in force.
    void report(const std::vector<ShellMessage>& messages);

    // The operator's actions.
    void typeWeight(std::size_t index, const std::string& text); // Text9_Change
    void pickFormat(std::size_t index);                          // Combo2_Click
    void pressLoad(Load load);           // Command1_Click, Command2_Click, Command3_Click
    void applyOscillation();             // Command5_Click: the amplitude and count boxes
    void setSignal(std::size_t index, int value);                // Check1_Click
    void pickModel(int model);                                   // Option1_Click
    void applyPeriod();                  // Command4_Click: the period box
    void switchCycle(bool on);           // Check2_Click
    void typeCycleMax(const std::string& text);                  // Text4_Change
    void typeCyclePeriod(const std::string& text);               // Text7_Change
    void pickLanguage(int language);     // mnu_eng_Click, mnu_rus_Click
    void pickPortBox(int index);         // Combo1_Click: the apply step follows
    // Basis_Command1_Click, with the folder the operator chose (empty: none).
    void chooseResultsFolder(const std::string& chosen);
    // Timer2_Timer. True when the choice was refused: the operator is told
    // (unless the caller tells its own user), and the boxes show the
    // settings in force again, so that nothing refused stays behind.
    bool applyPortBoxes(bool tellOperator = true);
    // The cable to the readers pulled out or put back: no control of the
    // window's, the API's. With `back`, it is put back by itself after that long.
    void plugCable(bool plugged, std::optional<std::chrono::milliseconds> back = std::nullopt);
    bool cablePlugged() const { return Outlet.plugged(); }
    // A box's text as typed, for the handler that reads it later.
    void typeText1(std::size_t index, const std::string& text);
    void typePortBox(std::size_t index, const QString& text);

    // The run's own events.
    const std::string& BuildFrame(); // one step of the terminal
    void tick();                     // Timer1_Timer: a frame built and sent
    void cycleTick();                // Timer3_Timer
    // Saves, and tells the operator when that failed. True when written.
    bool saveOrReport();

    CommPort& port() { return MSComm1; }
    const CommPort& port() const { return MSComm1; }
    FrameOutlet& outlet() { return Outlet; }
    const FrameOutlet& outlet() const { return Outlet; }
    const SettingsRecord& settings() const { return Settings; }
    const Terminal& terminal() const { return Terminal1; }
    const CycleMode& cycle() const { return Cycle; }
    // The language the run words what it says in, from the record's intLanguage.
    Language language() const { return languageOf(Settings.intLanguage); }
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
    QTimer cableBack;  // puts the cable back after a pull for a while
    CommPort MSComm1;
    FrameOutlet Outlet; // the serial port is its first line
    std::string strAppFolder;
    std::string strMonthFolder;
    std::unique_ptr<DataFolderLock> dataFolderLock; // this copy's claim on the data folder
    bool mayWriteSettings = false;                  // the settings file is ours to write in this run
    // The boxes' texts as typed: period, amplitude and count; the cycle's
    // maximum and period; the five port boxes.
    // They start as the window's form has them.
    std::array<std::string, 3> Text1{"300", "0.1", "3"};
    std::string Text4 = "100";
    std::string Text7 = "2";
    std::array<QString, 5> Combo1{QStringLiteral("2"), QStringLiteral("9600"), QStringLiteral("n"), QStringLiteral("8"),
        QStringLiteral("1")};
    bool Check2 = false; // the cycle switch as shown
    bool configuringPort = false; // the lamp follows the port by itself only outside the apply steps
    bool serialPortOptional = false;

signals:
    void changed(unsigned what);

private:
    void followCycleTimer();
    void openPortAtStartup();
    void fillOscillationBoxes();
    void readOscillationBoxes();
    void paceWithPortSettings();
    void showPortInForce();

    std::function<void(const QString&)> reporter;
    std::function<LocalDateTime()> clock = localNow;
    QString dataFolderForRun;
    std::optional<SettingsRecord> savedAtSessionEnd; // what the session's end saved, if it did
    bool ending = false; // Exit has run: the close sequence must not follow
    QString portReportAfterStart; // a start-up port failure, told once frames flow on the other lines
};

} // namespace korvanteslin
