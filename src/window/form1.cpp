#include "window/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>

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

} // namespace

Form1::Form1(UserDialogs& userDialogs, QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Form1>())
    , dialogs(userDialogs)
    , Timer1(this)
    , Timer2(this)
    , Timer3(this)
    , MSComm1(this)
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
}

void Form1::Form_Load()
{
    SetWindowIcon(this, true);

    const LocalDateTime today = clock();
    strAppFolder = appFolderFromEnvironment();
    PreparedSettings prepared = prepareSettings(strAppFolder, today);
    Settings = std::move(prepared.record);

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

void Form1::saveOrReport()
{
    if (auto failure = SaveSettings(strAppFolder + settingsFileName(), Settings))
        report(fromLocal(*failure));
}

void Form1::report(const QString& text)
{
    dialogs.showMessage(this, text);
}

} // namespace korvanteslin
