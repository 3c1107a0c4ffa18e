#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "emulation/cycle_mode.h"
#include "emulation/terminal.h"
#include "serial/comm_port.h"
#include "serial/frame_outlet.h"
#include "shell/data_folder_lock.h"
#include "shell/local_time.h"
#include "shell/settings_record.h"
#include "shell/shell_messages.h"
#include "window/frame_timer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace Ui {
class Form1;
}

namespace korvanteslin {

class Lamp;
class UserDialogs;

// The program's one window: its controls, timers and menus, start-up and
// shutdown, and the binding of every control event to its handler.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(UserDialogs& dialogs, QWidget* parent = nullptr);
    ~Form1() override;

    // The calendar the window reads "today" from; the system clock unless replaced.
    void setClock(std::function<LocalDateTime()> clock);

    // A data folder for this run instead of the one the environment gives;
    // made with its parents at start-up.
    void setDataFolder(const QString& folder);

    // Start-up: runs once, before the window is first shown. False when
    // another copy runs on the same data folder: this one has touched neither
    // the settings file nor the port, has said so, and must end.
    bool Form_Load();

    // Shutdown through the window's close box: port closed, then settings saved.
    void Form_Unload();
    // Shutdown through the menu: settings saved, then the program ends at once.
    void mnu_Exit_Click();
    // Shutdown asked for from outside (a termination signal): the close
    // sequence, then the program ends.
    void endOnRequest();
    // The desktop session is ending: the settings are saved now, in case the
    // program is not asked again. Closing afterwards saves only what changed since.
    void commitSessionData();
    // Exit, a close or a request to end has run (or start-up gave way to another copy).
    bool hasEnded() const { return ending; }

    // Weight entry, load buttons and the oscillation "Change" button.
    void Text9_Change(int index);
    void Combo2_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command5_Click();

    // One step of the emulated terminal: the frame that goes out next.
    const std::string& BuildFrame();

    // The port boxes and the deferred re-opening of the port.
    void Combo1_Click(int index);
    void Timer2_Timer();

    // Terminal model and service signals.
    void Option1_Click(int index);
    void Check1_Click(int index);

    // Cycle mode.
    void Check2_Click();
    void Text4_Change();
    void Text7_Change();
    void Timer3_Timer();

    // Interface language.
    void ApplyLanguage();
    void mnu_eng_Click();
    void mnu_rus_Click();

    // The results folder panel.
    void mnu_Setting_Click();
    void Basis_Command1_Click();

    // The transmission tick: a frame built, shown and written.
    void Timer1_Timer();
    // Applies the sending period typed into its box.
    void Command4_Click();

    // The operator's actions for a remote caller, done on the controls so that
    // the same handlers run. Texts are taken as typed.
    void typeWeight(int index, const QString& text);
    void pressLoad(Load load);
    void setSignal(int index, bool on);
    void pickModel(int model);
    void pickFormat(int index);
    void changeOscillation(const std::optional<QString>& amplitude, const std::optional<QString>& count);
    void changePeriod(const QString& period);
    void changeCycle(std::optional<bool> on, const std::optional<QString>& max, const std::optional<QString>& period);
    // Number, rate, parity, data bits, stop bits: the given ones picked, then one apply step.
    void pickPort(const std::array<std::optional<QString>, 5>& boxes);
    void pickLanguage(int language);

    QString formatPattern() const;
    // The last frame built, as a receiving side reads it.
    OutgoingFrame outgoingFrame() const;
    int sendPeriod() const;
    const CycleMode& cycle() const { return Cycle; }
    const SettingsRecord& settings() const { return Settings; }
    const Terminal& terminal() const { return Terminal1; }
    CommPort& port() { return MSComm1; }
    FrameOutlet& outlet() { return Outlet; }
    const std::string& appFolder() const { return strAppFolder; }
    const std::string& monthFolder() const { return strMonthFolder; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bindControlArrays();
    void bindEvents();
    void OpenPortAtStartup();
    bool saveOrReport();
    void collectSettings();
    void fillOscillationBoxes();
    void readOscillationBoxes();
    void showLoads();
    void showLoadLamps();
    void showSignals();
    void showEchoes();
    void showPortLamp();
    void showPortMap();
    void showCycle();
    void setCaption(const QString& control, const QString& text);
    void report(const QString& text);
    void report(const std::vector<ShellMessage>& messages);

    std::unique_ptr<Ui::Form1> ui;
    UserDialogs& dialogs;
    std::function<LocalDateTime()> clock = localNow;

    // Control arrays: one name, one handler receiving the index.
    std::array<QLineEdit*, 3> Text9{};
    std::array<QLineEdit*, 3> Text2{};
    std::array<QLineEdit*, 3> Text1{};
    std::array<Lamp*, 3> Shape2{};
    std::array<QLabel*, 4> Label10{};
    std::array<Lamp*, 4> Shape3{};
    std::array<QLabel*, 5> Label1{};
    std::array<QComboBox*, 5> Combo1{};
    std::array<QRadioButton*, 3> Option1{};
    std::array<QCheckBox*, 4> Check1{};

    FrameTimer Timer1; // the transmission tick
    QTimer Timer2; // the deferred re-opening of the port
    QTimer Timer3; // cycle mode's one-second tick
    CommPort MSComm1;
    FrameOutlet Outlet{MSComm1}; // every frame leaves through it

    SettingsRecord Settings;
    Terminal Terminal1;
    CycleMode Cycle;
    std::string strAppFolder;
    QString dataFolderForRun;
    std::string strMonthFolder;
    std::unique_ptr<DataFolderLock> dataFolderLock; // this copy's claim on the data folder
    bool mayWriteSettings = false; // the settings file is ours to write in this run
    std::optional<SettingsRecord> savedAtSessionEnd; // what the session's end saved, if it did
    bool ending = false; // Exit has run: the close sequence must not follow
    bool configuringPort = false; // the lamp follows the port by itself only outside the apply steps

    // At short periods the echo boxes are refreshed at most this often: always
    // with the latest frame, never a thousand times a second.
    static constexpr int kEchoRefreshMs = 20;
    QTimer echoRefresh;
    QElapsedTimer echoClock; // since the echo boxes were last refreshed
};

} // namespace korvanteslin
