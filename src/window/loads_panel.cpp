#include "window/loads_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "station/station.h"
#include "ui_form1.h"
#include "window/lamp.h"
#include "window/widget_values.h"

namespace korvanteslin {

LoadsPanel::LoadsPanel(Ui::Form1& ui_, Station& run_, QWidget& window_)
    : Panel(ui_, run_, window_)
    , Text9{ui.Text9_0, ui.Text9_1, ui.Text9_2}
    , Text2{ui.Text2_0, ui.Text2_1, ui.Text2_2}
    , Shape2{ui.Shape2_0, ui.Shape2_1, ui.Shape2_2}
{
    for (int i = 0; i < int(Text9.size()); ++i)
        connect(Text9[std::size_t(i)], &QLineEdit::textChanged, this, [this, i] { Text9_Change(i); });
    connect(ui.Combo2, &QComboBox::activated, this, &LoadsPanel::Combo2_Click);
    connect(ui.Command1, &QPushButton::clicked, this, &LoadsPanel::Command1_Click);
    connect(ui.Command2, &QPushButton::clicked, this, &LoadsPanel::Command2_Click);
    connect(ui.Command3, &QPushButton::clicked, this, &LoadsPanel::Command3_Click);
    connect(ui.Command5, &QPushButton::clicked, this, &LoadsPanel::Command5_Click);
}

void LoadsPanel::Text9_Change(int index)
{
    const auto i = std::size_t(index);
    run.typeWeight(i, Text9[i]->text().toStdString());
}

void LoadsPanel::Combo2_Click()
{
    run.pickFormat(std::size_t(std::max(0, ui.Combo2->currentIndex())));
}

void LoadsPanel::Command1_Click()
{
    run.pressLoad(Load::Weight1);
}

void LoadsPanel::Command2_Click()
{
    run.pressLoad(Load::Weight2);
}

void LoadsPanel::Command3_Click()
{
    run.pressLoad(Load::TakeOff);
}

void LoadsPanel::Command5_Click()
{
    run.applyOscillation();
}

void LoadsPanel::show(unsigned what)
{
    const Terminal& terminal = run.terminal();
    if (what & Station::EntriesChanged) {
        for (std::size_t i = 0; i < Text9.size(); ++i)
            setTextIfChanged(Text9[i], terminal.Text9[i]);
    }
    if (what & Station::LoadsChanged) {
        for (std::size_t i = 0; i < Text2.size(); ++i)
            setTextIfChanged(Text2[i], terminal.Text2[i]);
        if (ui.Combo2->currentIndex() != int(terminal.displayFormatIndex()))
            ui.Combo2->setCurrentIndex(int(terminal.displayFormatIndex()));
    }
    if (what & Station::LoadLampsChanged) {
        const Load lit[] = {Load::Weight1, Load::Weight2, Load::TakeOff};
        for (std::size_t i = 0; i < Shape2.size(); ++i)
            Shape2[i]->setColor(terminal.chosenLoad == lit[i] ? Lamp::kGreen : Lamp::kRed);
    }
    if (what & Station::OscillationApplied)
        QApplication::beep();
}

} // namespace korvanteslin
