// The serial port on the window: opening at start-up, the port boxes and the deferred re-opening.
#include "window/form1.h"

#include <QScopedValueRollback>

#include "serial/port_discovery.h"
#include "ui_form1.h"
#include "window/lamp.h"
#include "window/port_configuration.h"
#include "window/user_dialogs.h"
#include "window/widget_values.h"

namespace korvanteslin {

void Form1::Combo1_Click(int index)
{
    // A device named for this run holds until a port number is picked.
    if (index == 0)
        MSComm1.setDeviceOverride({});
    {
        const QScopedValueRollback guard(configuringPort, true);
        // Closed, and not re-opened by itself if it had gone away: the lamp
        // keeps its colour until the apply step.
        MSComm1.close();
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
    Combo1[0]->setToolTip(portMapText(fromLocal(strAppFolder), availableSerialDevices(), Settings.intLanguage));
}

void Form1::showPortLamp()
{
    ui->Shape1->setColor(MSComm1.isOpen() ? Lamp::kGreen : Lamp::kRed);
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

} // namespace korvanteslin
