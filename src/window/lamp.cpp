#include "window/lamp.h"

#include <QPainter>

namespace korvanteslin {

Lamp::Lamp(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void Lamp::setColor(uint color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void Lamp::setBorderColor(uint color)
{
    if (color == borderColor_)
        return;
    borderColor_ = color;
    update();
}

QColor Lamp::toQColor(uint value) const
{
    switch (value) {
    case kWindowBackground:
        return palette().color(QPalette::Base);
    case kWindowFrame:
    case kWindowText:
        return palette().color(QPalette::WindowText);
    default:
        return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
    }
}

void Lamp::paintEvent(QPaintEvent*)
{
    // A circle as wide as the box allows, centred, like a shape drawn in a rectangle.
    const int diameter = qMin(width(), height()) - 1;
    const QRectF circle((width() - diameter) / 2.0, (height() - diameter) / 2.0, diameter, diameter);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(toQColor(borderColor_), 1));
    painter.setBrush(toQColor(color_));
    painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace korvanteslin
