#include "window/caption_fit.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace korvanteslin {

namespace {

constexpr const char* kDesignSize = "designPointSize";
constexpr double kSmallest = 6.0;
// Room a frame's title leaves on either side, and a button's text inside its bevel.
constexpr int kTitleMargin = 10;
constexpr int kButtonMargin = 4;

int textWidth(const QWidget* control, const QString& text)
{
    return control->fontMetrics().horizontalAdvance(text);
}

bool labelFits(const QLabel* label)
{
    const QRect box = label->contentsRect();
    // A line taller than its box loses the tails of g, p and y.
    if (!label->wordWrap())
        return textWidth(label, label->text()) <= box.width() && label->fontMetrics().height() <= box.height();
    const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, box.width(), 100000),
        int(label->alignment()) | Qt::TextWordWrap, label->text());
    return needed.height() <= box.height() && needed.width() <= box.width();
}

bool buttonFits(const QAbstractButton* button)
{
    int needed = textWidth(button, button->text());
    if (qobject_cast<const QCheckBox*>(button) || qobject_cast<const QRadioButton*>(button)) {
        const QStyle* style = button->style();
        const bool check = qobject_cast<const QCheckBox*>(button) != nullptr;
        needed += style->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, nullptr, button)
            + style->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing, nullptr, button);
    } else {
        needed += 2 * kButtonMargin;
    }
    return needed <= button->width();
}

} // namespace

bool captionFits(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return labelFits(label);
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return buttonFits(button);
    if (const auto* frame = qobject_cast<const QGroupBox*>(control))
        return textWidth(frame, frame->title()) + 2 * kTitleMargin <= frame->width();
    return true;
}

void fitCaption(QWidget* control)
{
    QFont font = control->font();
    if (!control->property(kDesignSize).isValid())
        control->setProperty(kDesignSize, font.pointSizeF());
    double size = control->property(kDesignSize).toDouble();
    font.setPointSizeF(size);
    control->setFont(font);
    while (!captionFits(control) && size > kSmallest) {
        size -= 0.5;
        font.setPointSizeF(size);
        control->setFont(font);
    }
}

void setCaption(QWidget& window, const QString& control, const QString& text)
{
    if (auto* menu = window.findChild<QMenu*>(control)) {
        menu->setTitle(text);
    } else if (auto* action = window.findChild<QAction*>(control)) {
        action->setText(text);
    } else if (auto* label = window.findChild<QLabel*>(control)) {
        label->setText(text);
        fitCaption(label);
    } else if (auto* button = window.findChild<QAbstractButton*>(control)) {
        button->setText(text);
        fitCaption(button);
    } else if (auto* frame = window.findChild<QGroupBox*>(control)) {
        frame->setTitle(text);
        fitCaption(frame);
    }
}

} // namespace korvanteslin
