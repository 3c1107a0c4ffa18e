#include "window/signals_panel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include "shell/captions.h"
#include "station/station.h"
#include "ui_form1.h"
#include "window/caption_fit.h"
#include "window/lamp.h"
#include "window/widget_values.h"

namespace korvanteslin {

SignalsPanel::SignalsPanel(Ui::Form1& ui_, Station& run_, QWidget& window_)
    : Panel(ui_, run_, window_)
    , Option1{ui.Option1_0, ui.Option1_1, ui.Option1_2}
    , Check1{ui.Check1_0, ui.Check1_1, ui.Check1_2, ui.Check1_3}
    , Shape3{ui.Shape3_0, ui.Shape3_1, ui.Shape3_2, ui.Shape3_3}
    , Label10{ui.Label10_0, ui.Label10_1, ui.Label10_2, ui.Label10_3}
{
    for (int i = 0; i < int(Option1.size()); ++i)
        connect(Option1[std::size_t(i)], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    // Every change of a signal box, the operator's or the simulator's.
    for (int i = 0; i < int(Check1.size()); ++i)
        connect(Check1[std::size_t(i)], &QCheckBox::stateChanged, this, [this, i] { Check1_Click(i); });
}

void SignalsPanel::Option1_Click(int)
{
    for (std::size_t i = 0; i < Option1.size(); ++i) {
        if (Option1[i]->isChecked())
            run.pickModel(int(i));
    }
}

void SignalsPanel::Check1_Click(int index)
{
    const auto i = std::size_t(index);
    run.setSignal(i, signalValue(Check1[i]->checkState()));
}

void SignalsPanel::show(unsigned what)
{
    if (what & Station::SignalsChanged)
        showSignals();
    // The captions name the model in the interface language.
    if (what & (Station::ModelChanged | Station::LanguageChanged))
        showModel();
}

void SignalsPanel::showModel()
{
    const auto model = std::size_t(run.terminal().intTerminalModel);
    if (model < Option1.size() && !Option1[model]->isChecked())
        Option1[model]->setChecked(true);
    const ModelCaptions captions = modelCaptions(int(model), run.settings().intLanguage);
    ui.Frame3->setVisible(captions.frame3Visible);
    if (captions.frame3Caption)
        setCaption(window, QStringLiteral("Frame3"), fromUtf8(*captions.frame3Caption));
    setCaption(window, QStringLiteral("Frame4"), fromUtf8(captions.frame4Caption));
}

void SignalsPanel::showSignals()
{
    const Terminal& terminal = run.terminal();
    for (std::size_t i = 0; i < Check1.size(); ++i) {
        const Qt::CheckState state = checkState(terminal.Check1[i]);
        if (Check1[i]->checkState() != state)
            Check1[i]->setCheckState(state);
        Shape3[i]->setColor(terminal.Check1[i] == 1 ? Lamp::kGreen : Lamp::kWindowBackground);
    }
    for (std::size_t i = 0; i < Label10.size(); ++i) {
        Label10[i]->setVisible(terminal.signalLampsVisible);
        Shape3[i]->setVisible(terminal.signalLampsVisible);
    }
}

} // namespace korvanteslin
