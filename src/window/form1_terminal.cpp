// The emulated terminal on the window: loads, display format, model and signals, frames and their echoes.
#include "window/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QLocale>
#include <algorithm>
#include <cmath>

#include "emulation/names.h"
#include "emulation/number_reading.h"
#include "emulation/send_period.h"
#include "shell/captions.h"
#include "ui_form1.h"
#include "window/lamp.h"
#include "window/widget_values.h"

namespace korvanteslin {

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

void Form1::Timer1_Timer()
{
    BuildFrame();
    // The frame leaves first: the echo boxes only repaint later, and they show
    // the frame whether or not the write succeeded.
    if (!Terminal1.strFrame.empty())
        Outlet.send(outgoingFrame());
    if (Timer1.interval() >= kEchoRefreshMs || !Timer1.isActive()) {
        showEchoes();
    } else if (!echoRefresh.isActive()) {
        const qint64 since = echoClock.isValid() ? echoClock.elapsed() : kEchoRefreshMs;
        echoRefresh.start(int(std::clamp<qint64>(kEchoRefreshMs - since, 0, kEchoRefreshMs)));
    }
}

void Form1::Command4_Click()
{
    bool ok = false;
    const double typed = QLocale().toDouble(Text1[0]->text(), &ok);
    const std::int16_t period = sendPeriodFrom(ok ? std::optional(typed) : std::nullopt);
    Settings.intSendPeriod = period;
    Text1[0]->setText(QString::number(period));
    Timer1.setInterval(period);
}

void Form1::showEchoes()
{
    echoClock.start();
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
            setCaption(QStringLiteral("Frame3"), fromUtf8(*captions.frame3Caption));
        setCaption(QStringLiteral("Frame4"), fromUtf8(captions.frame4Caption));
    }
}

void Form1::Check1_Click(int index)
{
    const auto i = std::size_t(index);
    Terminal1.Check1[i] = signalValue(Check1[i]->checkState());
    Shape3[i]->setColor(Terminal1.Check1[i] == 1 ? Lamp::kGreen : Lamp::kWindowBackground);
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

} // namespace korvanteslin
