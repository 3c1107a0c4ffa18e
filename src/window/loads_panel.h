#pragma once

#include <array>

#include "window/panel.h"

class QLineEdit;

namespace korvanteslin {

class Lamp;

// The two weights as typed and as shown, the display format, the three load
// buttons with their lamps, and the oscillation's "Change" button.
class LoadsPanel final : public Panel {
public:
    LoadsPanel(Ui::Form1& ui, Station& run, QWidget& window);
    void show(unsigned what) override;

    void Text9_Change(int index);
    void Combo2_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command5_Click();

private:
    std::array<QLineEdit*, 3> Text9{};
    std::array<QLineEdit*, 3> Text2{};
    std::array<Lamp*, 3> Shape2{};
};

} // namespace korvanteslin
