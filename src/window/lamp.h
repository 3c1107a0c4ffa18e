#pragma once

#include <QWidget>

namespace korvanteslin {

// A small filled circle that shows a state. Colours are 0x00BBGGRR values, as
// the rest of the program speaks of them; a value with the top bit set names a
// system colour (0x80000005 the window background, 0x80000006 the window frame).
class Lamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(uint color READ color WRITE setColor)
    Q_PROPERTY(uint borderColor READ borderColor WRITE setBorderColor)

public:
    static constexpr uint kRed = 255;
    static constexpr uint kGreen = 49152;
    static constexpr uint kWindowBackground = 0x80000005;
    static constexpr uint kWindowFrame = 0x80000006;
    static constexpr uint kWindowText = 0x80000008;

    explicit Lamp(QWidget* parent = nullptr);

    uint color() const { return color_; }
    void setColor(uint color);
    uint borderColor() const { return borderColor_; }
    void setBorderColor(uint color);

    // The colour a 0x00BBGGRR or system colour value stands for on this widget.
    QColor toQColor(uint value) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint color_ = kRed;
    uint borderColor_ = kWindowText;
};

} // namespace korvanteslin

using korvanteslin::Lamp; // the name the window description knows the widget by
