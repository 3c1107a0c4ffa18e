#pragma once

class QString;
class QWidget;

namespace korvanteslin {

// Whether the control's caption fits inside its box with its current font.
bool captionFits(const QWidget* control);

// Starts from the control's own font size and, where the caption would be
// cut, takes it down in half points (not below 6 pt) until it fits. The
// controls keep their places and sizes; a longer caption gets a smaller font.
void fitCaption(QWidget* control);

// Writes a caption into whatever kind of control of the window carries it (a
// menu, an action, a label, a button, a frame) and keeps it inside its box.
void setCaption(QWidget& window, const QString& control, const QString& text);

} // namespace korvanteslin
