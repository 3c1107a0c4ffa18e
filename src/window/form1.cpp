#include "window/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenu>
#include <QCloseEvent>
#include <QDateTime>
#include <QLocale>

#include <QScopedValueRollback>
#include <algorithm>
#include <cmath>

#include "emulation/number_reading.h"
#include "serial/port_discovery.h"

#include "shell/captions.h"
#include "shell/folders.h"
#include "shell/platform_paths.h"
#include "shell/results_folder_choice.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"
#include "ui_form1.h"
#include "window/app_icon.h"
#include "window/caption_fit.h"
#include "window/fonts.h"
#include "window/lamp.h"
#include "window/port_configuration.h"
#include "window/user_dialogs.h"

namespace korvanteslin {

namespace {

QString fromLocal(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

// The separator numbers are shown with; the engine takes one plain character.
char decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? char(point[0].unicode()) : '.';
}

// A check box's value as the terminal counts it: 0 unchecked, 1 checked, 2 grayed.
int signalValue(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

Qt::CheckState checkState(int signalValue)
{
    return signalValue == 1 ? Qt::Checked : signalValue == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

void setTextIfChanged(QLineEdit* box, const std::string& text)
{
    const QString shown = QString::fromStdString(text);
    if (box->text() != shown)
        box->setText(shown);
}

} // namespace

Form1::Form1(UserDialogs& userDialogs, QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Form1>())
    , dialogs(userDialogs)
    , Timer1(this)
    , Timer2(this)
    , Timer3(this)
    , MSComm1(this)
    , Terminal1(decimalSeparator())
{
    installFontSubstitutes();
    ui->setupUi(this);
    bindControlArrays();
    // Panel titles are 15.75 pt, a size the form file cannot hold.
    for (QLabel* title : {ui->Label6, ui->Label8, ui->Label14}) {
        QFont font = title->font();
        font.setPointSizeF(15.75);
        title->setFont(font);
    }

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(100);
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setInterval(1000);
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
    echoRefresh.setSingleShot(true);

    bindEvents();

    // The controls keep their places whatever happens: the window has one size.
    adjustSize();
    setFixedSize(size());
}

Form1::~Form1() = default;

void Form1::setClock(std::function<LocalDateTime()> newClock)
{
    clock = std::move(newClock);
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
    connect(ui->mnu_Exit, &QAction::triggered, this, &Form1::mnu_Exit_Click);
    connect(&Timer1, &FrameTimer::timeout, this, &Form1::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(ui->Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    for (int i = 0; i < int(Combo1.size()); ++i)
        connect(Combo1[std::size_t(i)], &QComboBox::activated, this, [this, i] { Combo1_Click(i); });
    // A port that went away, or came back by itself, shows on its lamp at once.
    connect(&MSComm1, &CommPort::openChanged, this, [this] {
        if (!configuringPort)
            showPortLamp();
    });
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
    connect(&Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    connect(ui->mnu_eng, &QAction::triggered, this, &Form1::mnu_eng_Click);
    connect(ui->mnu_rus, &QAction::triggered, this, &Form1::mnu_rus_Click);
    connect(ui->mnu_Setting, &QAction::triggered, this, &Form1::mnu_Setting_Click);
    connect(ui->Basis_Command1, &QPushButton::clicked, this, &Form1::Basis_Command1_Click);
}

void Form1::Form_Load()
{
    SetWindowIcon(this, true);

    const LocalDateTime today = clock();
    strAppFolder = appFolderFromEnvironment();
    PreparedSettings prepared = prepareSettings(strAppFolder, today);
    Settings = std::move(prepared.record);

    Option1[std::size_t(Settings.intTerminalModel)]->setChecked(true);
    Option1_Click(Settings.intTerminalModel);

    Cycle.lngMaxCounter = Settings.lngMaxCounter;
    Cycle.lngCycleCounter = Settings.lngCycleCounter;
    Cycle.lngCyclePeriod = Settings.lngCyclePeriod;
    Cycle.intCycleOn = Settings.intCycleOn;
    // A stored value that differs from the box's runs the box's change handling.
    ui->Text4->setText(QString::number(Settings.lngMaxCounter));
    ui->Text7->setText(QString::number(Settings.lngCyclePeriod));
    fillOscillationBoxes();

    if (auto failure = createResultsFolders(Settings.strResultsFolder, today.year, systemMonthName(today.month),
            strMonthFolder))
        prepared.problems.push_back(*failure);
    if (!prepared.problems.empty()) {
        QStringList lines;
        for (const std::string& problem : prepared.problems)
            lines << fromLocal(problem);
        report(lines.join(QLatin1Char('\n')));
    }

    ApplyLanguage();

    MSComm1.setDeviceFolder(fromLocal(strAppFolder));
    OpenPortAtStartup();

    Text1[0]->setText(QString::number(Settings.intSendPeriod));
    Settings.intSendPeriod = floorToInt16(readNumber(Text1[0]->text().toStdString()));
    Timer1.setInterval(Settings.intSendPeriod);

    fillOscillationBoxes();
    readOscillationBoxes();
    Terminal1.simulator.dblWeight1 = readNumber(Text2[0]->text().toStdString());
    Terminal1.simulator.dblWeight2 = readNumber(Text2[1]->text().toStdString());
    Command3_Click();
    ui->Combo2->setCurrentIndex(int(kStartupFormat));
    Combo2_Click();
}

void Form1::fillOscillationBoxes()
{
    Text1[2]->setText(QString::number(Settings.intOscCount));
    Text1[1]->setText(QString::fromStdString(formatPlain(Settings.dblAmplitude, Terminal1.decimalSeparator())));
}

void Form1::readOscillationBoxes()
{
    Terminal1.dblAmplitude = readNumber(Text1[1]->text().toStdString());
    Terminal1.intOscCount = floorToInt16(readNumber(Text1[2]->text().toStdString()));
    Terminal1.simulator.intOscLeft = Terminal1.intOscCount;
}

void Form1::Text9_Change(int index)
{
    const auto i = std::size_t(index);
    Terminal1.Text9_Change(i, Text9[i]->text().toStdString());
    setTextIfChanged(Text2[i], Terminal1.Text2[i]);
}

void Form1::Combo2_Click()
{
    Terminal1.Combo2_Click(std::size_t(std::max(0, ui->Combo2->currentIndex())));
    showLoads();
}

void Form1::Command1_Click()
{
    Terminal1.Command1_Click();
    showLoadLamps();
}

void Form1::Command2_Click()
{
    Terminal1.Command2_Click();
    showLoadLamps();
}

void Form1::Command3_Click()
{
    Terminal1.Command3_Click();
    showLoadLamps();
}

void Form1::Command5_Click()
{
    Terminal1.Command5_Click(Text1[1]->text().toStdString(), Text1[2]->text().toStdString());
    QApplication::beep();
}

const std::string& Form1::BuildFrame()
{
    const std::string& frame = Terminal1.BuildFrame();
    showSignals();
    return frame;
}

void Form1::Combo1_Click(int)
{
    if (MSComm1.isOpen()) {
        const QScopedValueRollback guard(configuringPort, true);
        MSComm1.close(); // the lamp keeps its colour until the apply step
    }
    Timer2.start();
}

void Form1::Timer2_Timer()
{
    Timer2.stop();
    const QScopedValueRollback guard(configuringPort, true);
    PortBoxes boxes;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = Combo1[i]->currentText();
    if (applyPortBoxes(MSComm1, Settings, boxes))
        dialogs.showMessage(this, kRefusedChoice);
    showPortLamp();
    showPortMap();
}

// Which device each port number leads to, on the port number's box.
void Form1::showPortMap()
{
    Combo1[0]->setToolTip(portMapText(fromLocal(strAppFolder), availableSerialDevices()));
}

void Form1::Timer1_Timer()
{
    BuildFrame();
    // The frame leaves first: the echo boxes only repaint later, and they show
    // the frame whether or not the write succeeded.
    if (!Terminal1.strFrame.empty())
        MSComm1.output(QByteArray::fromStdString(Terminal1.strFrame)); // a closed port just misses the frame
    if (Timer1.interval() >= kEchoRefreshMs || !Timer1.isActive()) {
        showEchoes();
    } else if (!echoRefresh.isActive()) {
        const qint64 since = QDateTime::currentMSecsSinceEpoch() - lastEchoMs;
        echoRefresh.start(int(std::clamp<qint64>(kEchoRefreshMs - since, 0, kEchoRefreshMs)));
    }
}

void Form1::Command4_Click()
{
    bool ok = false;
    const double typed = QLocale().toDouble(Text1[0]->text(), &ok);
    const double whole = std::floor(typed);
    std::int16_t period = 150;
    if (ok && std::isfinite(whole) && whole >= 1 && whole <= 32767)
        period = std::int16_t(whole);
    Settings.intSendPeriod = period;
    Text1[0]->setText(QString::number(period));
    Timer1.setInterval(period);
}

void Form1::showEchoes()
{
    lastEchoMs = QDateTime::currentMSecsSinceEpoch();
    ui->Label18->setText(QString::number(MSComm1.commPort()));
    ui->Label19->setText(MSComm1.settings());
    const std::string& frame = Terminal1.strFrame;
    setTextIfChanged(ui->Text3, frame);
    if (frame.empty())
        setTextIfChanged(ui->Text5, {});
    else
        setTextIfChanged(ui->Text5,
            formatFixed(Terminal1.simulator.dblWeightNow, Terminal1.displayFormat().decimals, Terminal1.decimalSeparator()));
    setTextIfChanged(ui->Text6, hexEcho(frame));
    ui->Label12->setText(QString::number(Timer1.interval()));
}

void Form1::Option1_Click(int)
{
    for (std::size_t i = 0; i < Option1.size(); ++i) {
        if (!Option1[i]->isChecked())
            continue;
        Terminal1.intTerminalModel = std::int16_t(i);
        const ModelCaptions captions = modelCaptions(int(i), Settings.intLanguage);
        ui->Frame3->setVisible(captions.frame3Visible);
        if (captions.frame3Caption)
            setCaption(QStringLiteral("Frame3"), QString::fromUtf8(captions.frame3Caption->data(), qsizetype(captions.frame3Caption->size())));
        setCaption(QStringLiteral("Frame4"), QString::fromUtf8(captions.frame4Caption.data(), qsizetype(captions.frame4Caption.size())));
    }
}

void Form1::Check1_Click(int index)
{
    const auto i = std::size_t(index);
    Terminal1.Check1[i] = signalValue(Check1[i]->checkState());
    Shape3[i]->setColor(Terminal1.Check1[i] == 1 ? Lamp::kGreen : Lamp::kWindowBackground);
}

void Form1::Check2_Click()
{
    Cycle.Check2_Click(ui->Check2->isChecked());
    showCycle();
}

void Form1::Text4_Change()
{
    Cycle.Text4_Change(ui->Text4->text().toStdString());
}

void Form1::Text7_Change()
{
    Cycle.Text7_Change(ui->Text7->text().toStdString());
}

void Form1::Timer3_Timer()
{
    Cycle.Timer3_Timer(Terminal1);
    showLoadLamps();
    showCycle();
}

void Form1::showCycle()
{
    ui->Label22->setText(QString::fromStdString(Cycle.Label22));
    ui->Label22->setVisible(Cycle.label22Visible);
    if (Cycle.timer3Enabled && !Timer3.isActive())
        Timer3.start();
    else if (!Cycle.timer3Enabled)
        Timer3.stop();
}

void Form1::ApplyLanguage()
{
    const int language = Settings.intLanguage;
    for (const CaptionRow& row : captionTable()) {
        if (const auto text = captionText(row, language))
            setCaption(QString::fromUtf8(row.control.data(), qsizetype(row.control.size())),
                QString::fromUtf8(text->data(), qsizetype(text->size())));
    }
    const LocalDateTime today = clock();
    if (const auto title = korvanteslin::windowTitle(language, today, systemWeekdayName(today)))
        setWindowTitle(QString::fromStdString(*title));
    Option1_Click(-1);
}

// Writes a caption into whatever kind of control carries it, and keeps it
// inside the control's box.
void Form1::setCaption(const QString& control, const QString& text)
{
    if (auto* menu = findChild<QMenu*>(control)) {
        menu->setTitle(text);
    } else if (auto* action = findChild<QAction*>(control)) {
        action->setText(text);
    } else if (auto* label = findChild<QLabel*>(control)) {
        label->setText(text);
        fitCaption(label);
    } else if (auto* button = findChild<QAbstractButton*>(control)) {
        button->setText(text);
        fitCaption(button);
    } else if (auto* frame = findChild<QGroupBox*>(control)) {
        frame->setTitle(text);
        fitCaption(frame);
    }
}

void Form1::mnu_eng_Click()
{
    Settings.intLanguage = 0;
    ApplyLanguage();
    saveOrReport();
}

void Form1::mnu_rus_Click()
{
    Settings.intLanguage = 1;
    ApplyLanguage();
    saveOrReport();
}

void Form1::mnu_Setting_Click()
{
    if (ui->Basis_Frame1->isVisibleTo(this)) {
        ui->Basis_Frame1->hide();
        return;
    }
    ui->Basis_Frame1->show();
    ui->Basis_Frame1->raise();
    ui->Basis_Text1->setText(fromLocal(Settings.strResultsFolder));
}

void Form1::Basis_Command1_Click()
{
    const QString chosen = dialogs.chooseFolder(this, QString::fromUtf8(kResultsFolderDialogTitle));
    const ResultsFolderChoice choice = resultsFolderFromDialog(chosen.toStdString());
    switch (choice.outcome) {
    case ResultsFolderChoice::Outcome::Unchanged:
        return;
    case ResultsFolderChoice::Outcome::Refused:
        report(QString::fromStdString(choice.text));
        return;
    case ResultsFolderChoice::Outcome::Chosen:
        Settings.strResultsFolder = QString::fromStdString(choice.text).toLocal8Bit().toStdString();
        ui->Basis_Text1->setText(fromLocal(Settings.strResultsFolder));
        saveOrReport();
        return;
    }
}

void Form1::showPortLamp()
{
    ui->Shape1->setColor(MSComm1.isOpen() ? Lamp::kGreen : Lamp::kRed);
}

void Form1::showLoads()
{
    for (std::size_t i = 0; i < Text2.size(); ++i)
        setTextIfChanged(Text2[i], Terminal1.Text2[i]);
}

void Form1::showLoadLamps()
{
    const Load lit[] = {Load::Weight1, Load::Weight2, Load::TakeOff};
    for (std::size_t i = 0; i < Shape2.size(); ++i)
        Shape2[i]->setColor(Terminal1.chosenLoad == lit[i] ? Lamp::kGreen : Lamp::kRed);
}

void Form1::showSignals()
{
    for (std::size_t i = 0; i < Check1.size(); ++i) {
        const Qt::CheckState state = checkState(Terminal1.Check1[i]);
        if (Check1[i]->checkState() != state)
            Check1[i]->setCheckState(state);
    }
    for (std::size_t i = 0; i < Label10.size(); ++i) {
        Label10[i]->setVisible(Terminal1.signalLampsVisible);
        Shape3[i]->setVisible(Terminal1.signalLampsVisible);
    }
}

void Form1::OpenPortAtStartup()
{
    const QScopedValueRollback guard(configuringPort, true);
    const QString failure = configurePortAtStartup(MSComm1, Settings);
    if (!failure.isEmpty())
        dialogs.showMessage(this, failure);

    showPortLamp();
    showPortMap();

    // Filling the boxes is not a pick: it must not start a re-opening.
    Combo1[0]->setEditText(QString::number(MSComm1.commPort()));
    Combo1[1]->setEditText(QString::number(Settings.lngBaudRate));
    Combo1[2]->setEditText(fromLocal(Settings.strParity));
    Combo1[3]->setEditText(QString::number(Settings.intDataBits));
    Combo1[4]->setEditText(QString::number(Settings.intStopBits));
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!ending)
        Form_Unload();
    event->accept(); // closing is never refused
}

void Form1::Form_Unload()
{
    ending = true;
    if (MSComm1.isOpen())
        MSComm1.close();
    saveOrReport();
    QCoreApplication::processEvents();
}

void Form1::mnu_Exit_Click()
{
    ending = true;
    saveOrReport();
    QCoreApplication::processEvents();
    // The port is left as it is: the process releases it as it ends.
    QCoreApplication::exit(0);
}

// Values the operator changes in the terminal go back into the record before it is written.
void Form1::collectSettings()
{
    Settings.lngMaxCounter = Cycle.lngMaxCounter;
    Settings.lngCycleCounter = Cycle.lngCycleCounter;
    Settings.lngCyclePeriod = Cycle.lngCyclePeriod;
    Settings.intCycleOn = Cycle.intCycleOn;
    Settings.intTerminalModel = Terminal1.intTerminalModel;
    Settings.intOscCount = Terminal1.intOscCount;
    Settings.dblAmplitude = Terminal1.dblAmplitude;
}

void Form1::saveOrReport()
{
    collectSettings();
    if (auto failure = SaveSettings(strAppFolder + settingsFileName(), Settings))
        report(fromLocal(*failure));
}

void Form1::report(const QString& text)
{
    dialogs.showMessage(this, text);
}

} // namespace korvanteslin
