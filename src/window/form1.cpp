// The window itself: its controls, the binding of events to handlers, start-up and shutdown.
#include "window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>

#include "emulation/number_reading.h"
#include "shell/folders.h"
#include "shell/platform_paths.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"
#include "ui_form1.h"
#include "window/app_icon.h"
#include "window/fonts.h"
#include "window/lamp.h"
#include "window/list_pick.h"
#include "window/user_dialogs.h"
#include "window/widget_values.h"

namespace korvanteslin {

Form1::Form1(UserDialogs& userDialogs, QWidget* parent)
    : Form1(std::make_unique<Station>(), nullptr, userDialogs, parent)
{
}

Form1::Form1(Station& station, UserDialogs& userDialogs, QWidget* parent)
    : Form1(nullptr, &station, userDialogs, parent)
{
}

Form1::Form1(std::unique_ptr<Station> own, Station* external, UserDialogs& userDialogs, QWidget* parent)
    : QMainWindow(parent)
    , ownRun(std::move(own))
    , run(external ? *external : *ownRun)
    , ui(std::make_unique<Ui::Form1>())
    , dialogs(userDialogs)
    , Timer1(run.Timer1)
    , Timer2(run.Timer2)
    , Timer3(run.Timer3)
    , MSComm1(run.MSComm1)
    , Outlet(run.Outlet)
    , Settings(run.Settings)
    , Terminal1(run.Terminal1)
    , Cycle(run.Cycle)
    , strAppFolder(run.strAppFolder)
    , strMonthFolder(run.strMonthFolder)
{
    // A run of its own is found among the window's children, as its controls are.
    if (ownRun)
        ownRun->setParent(this);
    installFontSubstitutes();
    ui->setupUi(this);
    bindControlArrays();
    // Panel titles are 15.75 pt, a size the form file cannot hold.
    for (QLabel* title : {ui->Label6, ui->Label8, ui->Label14}) {
        QFont font = title->font();
        font.setPointSizeF(15.75);
        title->setFont(font);
    }

    echoRefresh.setSingleShot(true);

    run.setReporter([this](const QString& text) { report(text); });
    // The boxes show the texts the run holds, before their handlers are bound.
    showBoxes();
    bindEvents();

    // A drop-down changes only by a pick: a turn of the wheel passing over it
    // would otherwise re-open the port or change the format behind the
    // operator's back. A port box holds a short text, never a pasted page,
    // and keeps what was typed: completion would turn "57" into "57600".
    for (QComboBox* box : Combo1) {
        box->installEventFilter(this);
        box->lineEdit()->setMaxLength(16);
        box->setCompleter(nullptr);
    }
    ui->Combo2->installEventFilter(this);

    // Logging out may end the program without closing its window.
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::commitDataRequest, this, [this] { commitSessionData(); });

    // The controls keep their places whatever happens: the window has one size.
    adjustSize();
    setFixedSize(size());
}

Form1::~Form1() = default;

void Form1::setDataFolder(const QString& folder)
{
    run.setDataFolder(folder);
}

void Form1::setClock(std::function<LocalDateTime()> newClock)
{
    run.setClock(std::move(newClock));
}

void Form1::bindControlArrays()
{
    Text9 = {ui->Text9_0, ui->Text9_1, ui->Text9_2};
    Text2 = {ui->Text2_0, ui->Text2_1, ui->Text2_2};
    Text1 = {ui->Text1_0, ui->Text1_1, ui->Text1_2};
    Shape2 = {ui->Shape2_0, ui->Shape2_1, ui->Shape2_2};
    Label10 = {ui->Label10_0, ui->Label10_1, ui->Label10_2, ui->Label10_3};
    Shape3 = {ui->Shape3_0, ui->Shape3_1, ui->Shape3_2, ui->Shape3_3};
    Label1 = {ui->Label1_0, ui->Label1_1, ui->Label1_2, ui->Label1_3, ui->Label1_4};
    Combo1 = {ui->Combo1_0, ui->Combo1_1, ui->Combo1_2, ui->Combo1_3, ui->Combo1_4};
    Option1 = {ui->Option1_0, ui->Option1_1, ui->Option1_2};
    Check1 = {ui->Check1_0, ui->Check1_1, ui->Check1_2, ui->Check1_3};
}

void Form1::bindEvents()
{
    // Whatever changes in the run, by the operator's hand, the API's or its own, shows here.
    connect(&run, &Station::changed, this, &Form1::showChanges);
    connect(ui->mnu_Exit, &QAction::triggered, this, &Form1::mnu_Exit_Click);
    connect(ui->Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    // The boxes' texts are the run's: its handlers read them there.
    for (std::size_t i = 0; i < Text1.size(); ++i)
        connect(Text1[i], &QLineEdit::textChanged, this, [this, i](const QString& text) { run.typeText1(i, text.toStdString()); });
    for (std::size_t i = 0; i < Combo1.size(); ++i)
        connect(Combo1[i], &QComboBox::editTextChanged, this, [this, i](const QString& text) { run.typePortBox(i, text); });
    // Typed text never re-applies the port: only a pick from a list does.
    for (int i = 0; i < int(Combo1.size()); ++i)
        connect(new ListPick(Combo1[std::size_t(i)]), &ListPick::picked, this, [this, i] { Combo1_Click(i); });
    connect(&echoRefresh, &QTimer::timeout, this, &Form1::showEchoes);
    for (int i = 0; i < int(Text9.size()); ++i)
        connect(Text9[std::size_t(i)], &QLineEdit::textChanged, this, [this, i] { Text9_Change(i); });
    connect(ui->Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(ui->Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(ui->Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    for (int i = 0; i < int(Option1.size()); ++i)
        connect(Option1[std::size_t(i)], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    // Every change of a signal box, the operator's or the simulator's.
    for (int i = 0; i < int(Check1.size()); ++i)
        connect(Check1[std::size_t(i)], &QCheckBox::stateChanged, this, [this, i] { Check1_Click(i); });
    connect(ui->Check2, &QCheckBox::clicked, this, &Form1::Check2_Click);
    connect(ui->Text4, &QLineEdit::textChanged, this, &Form1::Text4_Change);
    connect(ui->Text7, &QLineEdit::textChanged, this, &Form1::Text7_Change);
    connect(ui->mnu_eng, &QAction::triggered, this, &Form1::mnu_eng_Click);
    connect(ui->mnu_rus, &QAction::triggered, this, &Form1::mnu_rus_Click);
    connect(ui->mnu_Setting, &QAction::triggered, this, &Form1::mnu_Setting_Click);
    connect(ui->Basis_Command1, &QPushButton::clicked, this, &Form1::Basis_Command1_Click);
}

bool Form1::Form_Load()
{
    SetWindowIcon(this, true);
    // The window shows each step as the run takes it.
    return run.Form_Load();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox*>(watched))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!run.hasEnded())
        Form_Unload();
    event->accept(); // closing is never refused
}

void Form1::Form_Unload()
{
    run.Form_Unload();
}

void Form1::endOnRequest()
{
    run.endOnRequest();
}

void Form1::commitSessionData()
{
    run.commitSessionData();
}

void Form1::mnu_Exit_Click()
{
    run.mnu_Exit_Click();
}

bool Form1::saveOrReport()
{
    return run.saveOrReport();
}

void Form1::report(const QString& text)
{
    dialogs.showMessage(this, text);
}

void Form1::showChanges(unsigned what)
{
    if (what & Station::EntriesChanged)
        showEntries();
    if (what & Station::LoadsChanged)
        showLoads();
    if (what & Station::LoadLampsChanged)
        showLoadLamps();
    if (what & Station::SignalsChanged)
        showSignals();
    if (what & Station::ModelChanged)
        showModel();
    if (what & Station::BoxesChanged)
        showBoxes();
    if (what & Station::OscillationApplied)
        QApplication::beep();
    if (what & Station::CycleSwitched)
        ui->Check2->setChecked(run.Check2);
    if (what & Station::CycleShown)
        showCycle();
    if (what & Station::LanguageChanged)
        ApplyLanguage();
    if (what & Station::PortChanged) {
        showPortLamp();
        showPortMap();
    }
    if (what & Station::FrameBuilt)
        showFrame();
}

} // namespace korvanteslin
