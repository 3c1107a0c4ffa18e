#include "window/port_panel.h"

#include <QComboBox>
#include <QLineEdit>

#include "serial/port_discovery.h"
#include "serial/wording.h"
#include "station/station.h"
#include "ui_form1.h"
#include "window/lamp.h"
#include "window/list_pick.h"
#include "window/widget_values.h"

namespace korvanteslin {

namespace {

const Wording kPortOpen{"COM%1 is open.", "COM%1 открыт."};
const Wording kPortClosed{"COM%1 is closed.", "COM%1 закрыт."};
const Wording kOtherLines{"The frames also go to the run's other lines: %1.", "Посылки идут также в другие линии: %1."};
const Wording kCableOut{"The cable is pulled out: nothing leaves on any line.",
    "Кабель отсоединён: ни в одну линию ничего не уходит."};

// The lamp's tooltip, for a run with more than the serial port to tell of:
// the port and the other lines apart, and a pulled cable. None otherwise.
QString lampText(const Station& run)
{
    const int others = int(run.outlet().lineCount()) - 1;
    if (others <= 0 && run.cablePlugged())
        return {};
    const CommPort& port = run.port();
    QStringList said{worded(port.isOpen() ? kPortOpen : kPortClosed, run.language()).arg(port.commPort())};
    if (others > 0)
        said << worded(kOtherLines, run.language()).arg(others);
    if (!run.cablePlugged())
        said << worded(kCableOut, run.language());
    return said.join(QLatin1Char('\n'));
}

} // namespace

PortPanel::PortPanel(Ui::Form1& ui_, Station& run_, QWidget& window_)
    : Panel(ui_, run_, window_)
    , Combo1{ui.Combo1_0, ui.Combo1_1, ui.Combo1_2, ui.Combo1_3, ui.Combo1_4}
{
    for (std::size_t i = 0; i < Combo1.size(); ++i) {
        QComboBox* box = Combo1[i];
        // A turn of the wheel passing over a box must not re-open the port
        // behind the operator's back. A box holds a short text, never a pasted
        // page, and keeps what was typed: completion would turn "57" into "57600".
        ignoreWheel(box);
        box->lineEdit()->setMaxLength(16);
        box->setCompleter(nullptr);
        box->setEditText(run.Combo1[i]);
        // The boxes' texts are the run's: the apply step reads them there.
        connect(box, &QComboBox::editTextChanged, this, [this, i](const QString& text) { run.typePortBox(i, text); });
        // Typed text never re-applies the port: only a pick from a list does.
        connect(new ListPick(box), &ListPick::picked, this, [this, i] { Combo1_Click(int(i)); });
    }
}

void PortPanel::Combo1_Click(int index)
{
    run.pickPortBox(index);
}

void PortPanel::show(unsigned what)
{
    if (what & Station::BoxesChanged) {
        for (std::size_t i = 0; i < Combo1.size(); ++i) {
            if (Combo1[i]->currentText() != run.Combo1[i])
                Combo1[i]->setEditText(run.Combo1[i]);
        }
    }
    // Green while frames leave on the serial port: it is open and the cable is in.
    if (what & Station::PortChanged)
        ui.Shape1->setColor(run.port().isOpen() && run.cablePlugged() ? Lamp::kGreen : Lamp::kRed);
    if (what & (Station::PortChanged | Station::LanguageChanged))
        ui.Shape1->setToolTip(lampText(run));
    // Which device each port number leads to, on the port number's box, in the interface language.
    if (what & (Station::PortChanged | Station::LanguageChanged))
        Combo1[0]->setToolTip(portMapText(
            fromLocal(run.strAppFolder), availableSerialDevices(), run.language()));
}

} // namespace korvanteslin
