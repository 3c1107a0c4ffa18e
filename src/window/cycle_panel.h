#pragma once

#include "window/panel.h"

namespace korvanteslin {

// Cycle mode: its switch, the maximum and period boxes, and the count shown.
class CyclePanel final : public Panel {
public:
    CyclePanel(Ui::Form1& ui, Station& run, QWidget& window);
    void show(unsigned what) override;

    void Check2_Click();
    void Text4_Change();
    void Text7_Change();
};

} // namespace korvanteslin
