#include "window/panel.h"

#include <QWidget>

namespace korvanteslin {

Panel::Panel(Ui::Form1& ui_, Station& run_, QWidget& window_)
    : QObject(&window_)
    , ui(ui_)
    , run(run_)
    , window(window_)
{
}

} // namespace korvanteslin
