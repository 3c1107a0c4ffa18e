#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "shell/local_time.h"
#include "station/station.h"

class QLineEdit;

namespace Ui {
class Form1;
}

namespace korvanteslin {

class CyclePanel;
class LoadsPanel;
class Panel;
class PortPanel;
class SignalsPanel;
class TransmissionPanel;
class UserDialogs;

// The program's one window on a run: it composes the panels that bind the
// controls to the run, holds the menus, the captions and the results folder
// panel, and tells every panel what the run says changed.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    // On a run of its own.
    explicit Form1(UserDialogs& dialogs, QWidget* parent = nullptr);
    // On a run made before it, which outlives it.
    Form1(Station& station, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~Form1() override;

    // The run's own, as the window's events and the tests reach them (see Station).
    void setClock(std::function<LocalDateTime()> clock);
    void setDataFolder(const QString& folder);
    bool Form_Load(); // and the window's icon
    void Form_Unload();
    void mnu_Exit_Click();
    void endOnRequest();
    void commitSessionData();
    bool hasEnded() const { return run.hasEnded(); }

    // Handlers the operator's events run, by their panels.
    void Combo2_Click();
    void Option1_Click(int index);
    void Timer1_Timer();
    void Timer3_Timer();
    const std::string& BuildFrame();

    // Interface language and the results folder panel.
    void ApplyLanguage();
    void mnu_eng_Click();
    void mnu_rus_Click();
    void mnu_Setting_Click();
    void Basis_Command1_Click();

    Station& station() { return run; }
    OutgoingFrame outgoingFrame() const { return run.outgoingFrame(); }
    int sendPeriod() const { return run.sendPeriod(); }
    const CycleMode& cycle() const { return run.cycle(); }
    const SettingsRecord& settings() const { return run.settings(); }
    const Terminal& terminal() const { return run.terminal(); }
    CommPort& port() { return run.port(); }
    FrameOutlet& outlet() { return run.outlet(); }
    const std::string& appFolder() const { return run.strAppFolder; }
    const std::string& monthFolder() const { return run.strMonthFolder; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Form1(std::unique_ptr<Station> own, Station* external, UserDialogs& dialogs, QWidget* parent);
    void bindMenus();
    void showChanges(unsigned what);
    void report(const QString& text);

    std::unique_ptr<Station> ownRun; // when the window was made without one
    Station& run;
    std::unique_ptr<Ui::Form1> ui;
    UserDialogs& dialogs;

    // The period, amplitude and count boxes: one array, two panels' buttons read it.
    std::array<QLineEdit*, 3> Text1{};

    LoadsPanel* loads = nullptr;
    SignalsPanel* signalBoxes = nullptr;
    CyclePanel* cycleMode = nullptr;
    PortPanel* portBoxes = nullptr;
    TransmissionPanel* transmission = nullptr;
    std::array<Panel*, 5> panels{};
};

} // namespace korvanteslin
