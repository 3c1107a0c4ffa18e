#pragma once

#include <array>

#include "window/panel.h"

class QCheckBox;
class QLabel;
class QRadioButton;

namespace korvanteslin {

class Lamp;

// The terminal model's buttons and the captions that name the model, and the
// four service signals: their boxes, lamps and labels.
class SignalsPanel final : public Panel {
public:
    SignalsPanel(Ui::Form1& ui, Station& run, QWidget& window);
    void show(unsigned what) override;

    void Option1_Click(int index);
    void Check1_Click(int index);

private:
    void showModel();
    void showSignals();

    std::array<QRadioButton*, 3> Option1{};
    std::array<QCheckBox*, 4> Check1{};
    std::array<Lamp*, 4> Shape3{};
    std::array<QLabel*, 4> Label10{};
};

} // namespace korvanteslin
