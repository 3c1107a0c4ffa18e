#pragma once

class QWidget;

namespace korvanteslin {

// While a panel lies over other controls of its window, the controls under it
// take no keyboard focus: Tab must not lead the operator into a box that
// cannot be seen. Showing the panel again restores each control's own policy.
void holdFocusUnder(QWidget* panel, bool covering);

} // namespace korvanteslin
