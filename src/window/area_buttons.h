#pragma once

#include <QCheckBox>
#include <QRadioButton>

namespace korvanteslin {

// Check boxes and option buttons of this window answer a click anywhere in
// their box, not only on the indicator and the caption: the boxes are drawn
// wider than their captions, and a click on the blank part must not be lost.
class AreaCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

class AreaRadioButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace korvanteslin

// The names the window description knows the widgets by.
using korvanteslin::AreaCheckBox;
using korvanteslin::AreaRadioButton;
