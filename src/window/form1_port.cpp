// The serial port on the window: opening at start-up, the port boxes and the deferred re-opening.
#include "window/form1.h"

#include <QScopedValueRollback>

#include "serial/port_discovery.h"
#include "ui_form1.h"
#include "window/lamp.h"
#include "station/port_configuration.h"
#include "window/user_dialogs.h"
#include "window/widget_values.h"

namespace korvanteslin {

void Form1::Combo1_Click(int index)
{
    run.pickPortBox(index);
}

void Form1::Timer2_Timer()
{
    run.applyPortBoxes();
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
    const QScopedValueRollback guard(run.configuringPort, true);
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
