#pragma once

#include <array>

#include "window/panel.h"

class QComboBox;

namespace korvanteslin {

// The five port boxes, the port's lamp, and which device each number leads to.
class PortPanel final : public Panel {
public:
    PortPanel(Ui::Form1& ui, Station& run, QWidget& window);
    void show(unsigned what) override;

    // A pick in a port box; the apply step follows.
    void Combo1_Click(int index);

private:
    std::array<QComboBox*, 5> Combo1{};
};

} // namespace korvanteslin
