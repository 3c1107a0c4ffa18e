#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "shell/local_time.h"
#include "station/station.h"

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

// The program's one window: its controls and menus, start-up and shutdown,
// and the binding of every control event to its handler, on the run it shows.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    // On a run of its own.
    explicit Form1(UserDialogs& dialogs, QWidget* parent = nullptr);
    // On a run made before it, which outlives it.
    Form1(Station& station, UserDialogs& dialogs, QWidget* parent = nullptr);
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
    bool hasEnded() const { return run.hasEnded(); }

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

    Station& station() { return run; }
    // The last frame built, as a receiving side reads it.
    OutgoingFrame outgoingFrame() const { return run.outgoingFrame(); }
    int sendPeriod() const { return run.sendPeriod(); }
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
    Form1(std::unique_ptr<Station> own, Station* external, UserDialogs& dialogs, QWidget* parent);
    void bindControlArrays();
    void bindEvents();
    bool saveOrReport();
    void showChanges(unsigned what);
    void showEntries();
    void showBoxes();
    void showLoads();
    void showLoadLamps();
    void showSignals();
    void showModel();
    void showFrame();
    void showEchoes();
    void showPortLamp();
    void showPortMap();
    void showCycle();
    void setCaption(const QString& control, const QString& text);
    void report(const QString& text);
    void report(const std::vector<ShellMessage>& messages) { run.report(messages); }

    std::unique_ptr<Station> ownRun; // when the window was made without one
    Station& run;
    std::unique_ptr<Ui::Form1> ui;
    UserDialogs& dialogs;

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

    // The run's parts, by the names the handlers give them.
    FrameTimer& Timer1;
    QTimer& Timer2;
    QTimer& Timer3;
    CommPort& MSComm1;
    FrameOutlet& Outlet;
    SettingsRecord& Settings;
    Terminal& Terminal1;
    CycleMode& Cycle;
    std::string& strAppFolder;
    std::string& strMonthFolder;


    // At short periods the echo boxes are refreshed at most this often: always
    // with the latest frame, never a thousand times a second.
    static constexpr int kEchoRefreshMs = 20;
    QTimer echoRefresh;
    QElapsedTimer echoClock; // since the echo boxes were last refreshed
};

} // namespace korvanteslin
