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

} // namespace korvanteslin
