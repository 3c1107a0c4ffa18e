#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include "window/panel.h"

namespace korvanteslin {

// The sending period's box and button, and the echoes of the last frame:
// as text, its weight, in hex, the period, the port's number and settings.
class TransmissionPanel final : public Panel {
public:
    TransmissionPanel(Ui::Form1& ui, Station& run, QWidget& window);
    void show(unsigned what) override;

    void Command4_Click();

private:
    void showEchoes();

    // At short periods the echo boxes are refreshed at most this often: always
    // with the latest frame, never a thousand times a second.
    static constexpr int kEchoRefreshMs = 20;
    QTimer echoRefresh;
    QElapsedTimer echoClock; // since the echo boxes were last refreshed
};

} // namespace korvanteslin
