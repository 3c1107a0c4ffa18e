#pragma once

class QWidget;

namespace korvanteslin {

// Gives the window, and when asked the application as a whole (task bar,
// window switcher, dialogs), the program's own icon.
void SetWindowIcon(QWidget* window, bool blnSetAsAppIcon);

} // namespace korvanteslin
