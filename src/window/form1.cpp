// The window itself: its panels, start-up and shutdown, and what the run says changed.
#include "window/form1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>

#include "ui_form1.h"
#include "window/app_icon.h"
#include "window/cycle_panel.h"
#include "window/fonts.h"
#include "window/list_pick.h"
#include "window/loads_panel.h"
#include "window/port_panel.h"
#include "window/signals_panel.h"
#include "window/transmission_panel.h"
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
{
    // A run of its own is found among the window's children, as its controls are.
    if (ownRun)
        ownRun->setParent(this);
    installFontSubstitutes();
    ui->setupUi(this);
    // Panel titles are 15.75 pt, a size the form file cannot hold.
    for (QLabel* title : {ui->Label6, ui->Label8, ui->Label14}) {
        QFont font = title->font();
        font.setPointSizeF(15.75);
        title->setFont(font);
    }
    run.setReporter([this](const QString& text) { report(text); });

    // The boxes show the texts the run holds before their handlers are bound;
    // from then on the run reads them there.
    Text1 = {ui->Text1_0, ui->Text1_1, ui->Text1_2};
    for (std::size_t i = 0; i < Text1.size(); ++i) {
        Text1[i]->setText(QString::fromStdString(run.Text1[i]));
        connect(Text1[i], &QLineEdit::textChanged, this, [this, i](const QString& text) { run.typeText1(i, text.toStdString()); });
    }
    ui->Text4->setText(QString::fromStdString(run.Text4));
    ui->Text7->setText(QString::fromStdString(run.Text7));
    loads = new LoadsPanel(*ui, run, *this);
    signalBoxes = new SignalsPanel(*ui, run, *this);
    cycleMode = new CyclePanel(*ui, run, *this);
    portBoxes = new PortPanel(*ui, run, *this);
    transmission = new TransmissionPanel(*ui, run, *this);
    panels = {loads, signalBoxes, cycleMode, portBoxes, transmission};
    // A turn of the wheel passing over the format box must not change it either.
    ignoreWheel(ui->Combo2);
    // Whatever changes in the run, by the operator's hand, the API's or its own, shows here.
    connect(&run, &Station::changed, this, &Form1::showChanges);
    bindMenus();

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

bool Form1::Form_Load()
{
    SetWindowIcon(this, true);
    // The window shows each step as the run takes it.
    return run.Form_Load();
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

void Form1::Combo2_Click()
{
    loads->Combo2_Click();
}

void Form1::Option1_Click(int index)
{
    signalBoxes->Option1_Click(index);
}

void Form1::Timer1_Timer()
{
    run.tick();
}

void Form1::Timer3_Timer()
{
    run.cycleTick();
}

const std::string& Form1::BuildFrame()
{
    return run.BuildFrame();
}

void Form1::report(const QString& text)
{
    dialogs.showMessage(this, text);
}

void Form1::showChanges(unsigned what)
{
    // The captions first: the panels' own captions (the model's) go over them.
    if (what & Station::LanguageChanged)
        ApplyLanguage();
    if (what & Station::BoxesChanged) {
        for (std::size_t i = 0; i < Text1.size(); ++i)
            setTextIfChanged(Text1[i], run.Text1[i]);
    }
    if (what & Station::ResultsFolderChanged)
        ui->Basis_Text1->setText(fromLocal(run.settings().strResultsFolder));
    for (Panel* panel : panels)
        panel->show(what);
}

} // namespace korvanteslin
