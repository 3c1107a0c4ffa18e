#include "window/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLocale>

#include "emulation/number_reading.h"

#include "shell/folders.h"
#include "shell/platform_paths.h"
#include "shell/settings_file.h"
#include "shell/settings_startup.h"
#include "ui_form1.h"
#include "window/app_icon.h"
#include "window/fonts.h"
#include "window/lamp.h"
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
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(100);
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setInterval(1000);
    MSComm1.setObjectName(QStringLiteral("MSComm1"));

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
    for (int i = 0; i < int(Text9.size()); ++i)
        connect(Text9[std::size_t(i)], &QLineEdit::textChanged, this, [this, i] { Text9_Change(i); });
    connect(ui->Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(ui->Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(ui->Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    // The operator's tare and over-limit switches (and a click on the other two,
    // which lasts until the next frame) reach the frames through the terminal.
    for (std::size_t i = 0; i < Check1.size(); ++i)
        connect(Check1[i], &QCheckBox::clicked, this, [this, i] { Terminal1.Check1[i] = signalValue(Check1[i]->checkState()); });
}

void Form1::Form_Load()
{
    SetWindowIcon(this, true);

    const LocalDateTime today = clock();
    strAppFolder = appFolderFromEnvironment();
    PreparedSettings prepared = prepareSettings(strAppFolder, today);
    Settings = std::move(prepared.record);

    Terminal1.intTerminalModel = Settings.intTerminalModel;
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

    MSComm1.setDeviceFolder(fromLocal(strAppFolder));
    OpenPortAtStartup();

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
    // Each step that fails is passed over; the operator sees the last failure.
    QString failure;
    const bool numberTaken = MSComm1.setCommPort(Settings.intPortNumber);
    if (!numberTaken)
        failure = MSComm1.lastError();
    if (!MSComm1.setSettings(fromLocal(Settings.strPortSettings)))
        failure = MSComm1.lastError();
    // A refused number would leave some other port selected: that one is not ours to open.
    if (numberTaken && !MSComm1.open())
        failure = MSComm1.lastError();
    if (!failure.isEmpty())
        dialogs.showMessage(this, failure);

    ui->Shape1->setColor(MSComm1.isOpen() ? Lamp::kGreen : Lamp::kRed);

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
