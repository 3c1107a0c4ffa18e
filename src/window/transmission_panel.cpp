#include "window/transmission_panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "emulation/frame_builder.h"
#include "station/station.h"
#include "ui_form1.h"
#include "window/widget_values.h"

namespace korvanteslin {

TransmissionPanel::TransmissionPanel(Ui::Form1& ui_, Station& run_, QWidget& window_)
    : Panel(ui_, run_, window_)
{
    echoRefresh.setSingleShot(true);
    connect(&echoRefresh, &QTimer::timeout, this, &TransmissionPanel::showEchoes);
    connect(ui.Command4, &QPushButton::clicked, this, &TransmissionPanel::Command4_Click);
}

void TransmissionPanel::Command4_Click()
{
    run.applyPeriod();
}

void TransmissionPanel::show(unsigned what)
{
    if (!(what & Station::FrameBuilt))
        return;
    // At once at ordinary periods, at most every refresh interval at short ones.
    const int period = run.sendPeriod();
    if (period >= kEchoRefreshMs || period == 0) {
        showEchoes();
    } else if (!echoRefresh.isActive()) {
        const qint64 since = echoClock.isValid() ? echoClock.elapsed() : kEchoRefreshMs;
        echoRefresh.start(int(std::clamp<qint64>(kEchoRefreshMs - since, 0, kEchoRefreshMs)));
    }
}

void TransmissionPanel::showEchoes()
{
    echoClock.start();
    const Terminal& terminal = run.terminal();
    ui.Label18->setText(QString::number(run.port().commPort()));
    ui.Label19->setText(run.port().settings());
    const std::string& frame = terminal.strFrame;
    setTextIfChanged(ui.Text3, frame);
    if (frame.empty())
        setTextIfChanged(ui.Text5, {});
    else
        setTextIfChanged(ui.Text5,
            formatFixed(terminal.simulator.dblWeightNow, terminal.displayFormat().decimals, terminal.decimalSeparator()));
    setTextIfChanged(ui.Text6, hexEcho(frame));
    ui.Label12->setText(QString::number(run.sendPeriod()));
}

} // namespace korvanteslin
