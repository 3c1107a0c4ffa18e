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

void Form1::Text9_Change(int index)
{
    const auto i = std::size_t(index);
    run.typeWeight(i, Text9[i]->text().toStdString());
}

void Form1::showEntries()
{
    for (std::size_t i = 0; i < Text9.size(); ++i)
        setTextIfChanged(Text9[i], Terminal1.Text9[i]);
}

void Form1::Combo2_Click()
{
    run.pickFormat(std::size_t(std::max(0, ui->Combo2->currentIndex())));
}

void Form1::Command1_Click()
{
    run.pressLoad(Load::Weight1);
}

void Form1::Command2_Click()
{
    run.pressLoad(Load::Weight2);
}

void Form1::Command3_Click()
{
    run.pressLoad(Load::TakeOff);
}

void Form1::Command5_Click()
{
    run.applyOscillation();
}

const std::string& Form1::BuildFrame()
{
    return run.BuildFrame();
}

void Form1::Timer1_Timer()
{
    run.tick();
}

// The echo boxes after a frame: at once at ordinary periods, at most every
// refresh interval at short ones.
void Form1::showFrame()
{
    if (Timer1.interval() >= kEchoRefreshMs || !Timer1.isActive()) {
        showEchoes();
    } else if (!echoRefresh.isActive()) {
        const qint64 since = echoClock.isValid() ? echoClock.elapsed() : kEchoRefreshMs;
        echoRefresh.start(int(std::clamp<qint64>(kEchoRefreshMs - since, 0, kEchoRefreshMs)));
    }
}

void Form1::Command4_Click()
{
    run.applyPeriod();
}

// The boxes whose texts the run's handlers read, as the run holds them.
void Form1::showBoxes()
{
    for (std::size_t i = 0; i < Text1.size(); ++i)
        setTextIfChanged(Text1[i], run.Text1[i]);
    setTextIfChanged(ui->Text4, run.Text4);
    setTextIfChanged(ui->Text7, run.Text7);
    for (std::size_t i = 0; i < Combo1.size(); ++i) {
        if (Combo1[i]->currentText() != run.Combo1[i])
            Combo1[i]->setEditText(run.Combo1[i]);
    }
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
        if (Option1[i]->isChecked())
            run.pickModel(int(i));
    }
}

// The model's button, and the captions that name the model.
void Form1::showModel()
{
    const auto model = std::size_t(Terminal1.intTerminalModel);
    if (model < Option1.size() && !Option1[model]->isChecked())
        Option1[model]->setChecked(true);
    const ModelCaptions captions = modelCaptions(int(model), Settings.intLanguage);
    ui->Frame3->setVisible(captions.frame3Visible);
    if (captions.frame3Caption)
        setCaption(QStringLiteral("Frame3"), fromUtf8(*captions.frame3Caption));
    setCaption(QStringLiteral("Frame4"), fromUtf8(captions.frame4Caption));
}

void Form1::Check1_Click(int index)
{
    const auto i = std::size_t(index);
    run.setSignal(i, signalValue(Check1[i]->checkState()));
}

void Form1::showLoads()
{
    for (std::size_t i = 0; i < Text2.size(); ++i)
        setTextIfChanged(Text2[i], Terminal1.Text2[i]);
    if (ui->Combo2->currentIndex() != int(Terminal1.displayFormatIndex()))
        ui->Combo2->setCurrentIndex(int(Terminal1.displayFormatIndex()));
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
        Shape3[i]->setColor(Terminal1.Check1[i] == 1 ? Lamp::kGreen : Lamp::kWindowBackground);
    }
    for (std::size_t i = 0; i < Label10.size(); ++i) {
        Label10[i]->setVisible(Terminal1.signalLampsVisible);
        Shape3[i]->setVisible(Terminal1.signalLampsVisible);
    }
}

} // namespace korvanteslin
