#include "window/list_pick.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QTimer>

namespace korvanteslin {

ListPick::ListPick(QComboBox* box)
    : QObject(box)
    , box_(box)
    , list_(box->view()->window())
{
    box_->installEventFilter(this);
    if (QLineEdit* edit = box_->lineEdit())
        edit->installEventFilter(this);
    list_->installEventFilter(this);
    connect(box_, &QComboBox::activated, this, &ListPick::onActivated);
}

bool ListPick::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_) {
        // QComboBox closes the list first and reports the chosen entry right
        // after, within the same event; by the next pass of the event loop
        // a closed list has nothing more to report.
        if (event->type() == QEvent::Hide) {
            listJustClosed_ = true;
            QTimer::singleShot(0, this, [this] { listJustClosed_ = false; });
        }
    } else {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::FocusOut:
        case QEvent::InputMethod:
            listJustClosed_ = false;
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ListPick::onActivated(int index)
{
    if (!listJustClosed_)
        return;
    listJustClosed_ = false;
    emit picked(index);
}

namespace {

class NoWheel final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        return event->type() == QEvent::Wheel || QObject::eventFilter(watched, event);
    }
};

} // namespace

void ignoreWheel(QComboBox* box)
{
    box->installEventFilter(new NoWheel(box));
}

} // namespace korvanteslin
