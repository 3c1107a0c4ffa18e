#include "window/covered_focus.h"

#include <QVariant>
#include <QWidget>

namespace korvanteslin {

namespace {

constexpr const char* kOwnPolicy = "focusPolicyUnderPanel";

bool isUnder(const QWidget* panel, const QWidget* control)
{
    const QWidget* parent = panel->parentWidget();
    const QRect area(control->mapTo(parent, QPoint(0, 0)), control->size());
    return panel->geometry().intersects(area) && !panel->isAncestorOf(control) && control != panel;
}

} // namespace

void holdFocusUnder(QWidget* panel, bool covering)
{
    QWidget* parent = panel->parentWidget();
    for (QWidget* control : parent->findChildren<QWidget*>()) {
        const QVariant own = control->property(kOwnPolicy);
        if (!covering) {
            if (own.isValid()) {
                control->setFocusPolicy(Qt::FocusPolicy(own.toInt()));
                control->setProperty(kOwnPolicy, QVariant());
            }
        } else if (!own.isValid() && control->focusPolicy() != Qt::NoFocus && isUnder(panel, control)) {
            control->setProperty(kOwnPolicy, int(control->focusPolicy()));
            control->setFocusPolicy(Qt::NoFocus);
            if (control->hasFocus())
                control->clearFocus();
        }
    }
}

} // namespace korvanteslin
