#include "window/cycle_panel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "station/station.h"
#include "ui_form1.h"
#include "window/widget_values.h"

namespace korvanteslin {

CyclePanel::CyclePanel(Ui::Form1& ui_, Station& run_, QWidget& window_)
    : Panel(ui_, run_, window_)
{
    connect(ui.Check2, &QCheckBox::clicked, this, &CyclePanel::Check2_Click);
    connect(ui.Text4, &QLineEdit::textChanged, this, &CyclePanel::Text4_Change);
    connect(ui.Text7, &QLineEdit::textChanged, this, &CyclePanel::Text7_Change);
}

void CyclePanel::Check2_Click()
{
    run.switchCycle(ui.Check2->isChecked());
}

void CyclePanel::Text4_Change()
{
    run.typeCycleMax(ui.Text4->text().toStdString());
}

void CyclePanel::Text7_Change()
{
    run.typeCyclePeriod(ui.Text7->text().toStdString());
}

void CyclePanel::show(unsigned what)
{
    if (what & Station::BoxesChanged) {
        setTextIfChanged(ui.Text4, run.Text4);
        setTextIfChanged(ui.Text7, run.Text7);
    }
    if (what & Station::CycleSwitched)
        ui.Check2->setChecked(run.Check2);
    if (what & Station::CycleShown) {
        ui.Label22->setText(QString::fromStdString(run.cycle().Label22));
        ui.Label22->setVisible(run.cycle().label22Visible);
    }
}

} // namespace korvanteslin
