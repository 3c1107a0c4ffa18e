#pragma once

#include <QObject>

class QComboBox;
class QEvent;
class QWidget;

namespace korvanteslin {

// Reports only a pick from a drop-down's list. QComboBox also reports
// "activated" when Enter, Tab or a click elsewhere finds typed text that
// matches an entry, and when completion fills one in; none of those is a pick.
class ListPick : public QObject {
    Q_OBJECT
public:
    explicit ListPick(QComboBox* box);

signals:
    void picked(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onActivated(int index);

    QComboBox* box_;
    QWidget* list_; // the popup holding the list
    // The list has just closed: an activation now is the entry chosen in it.
    // Anything the operator does in the box afterwards ends that moment.
    bool listJustClosed_ = false;
};

// A drop-down that a turn of the wheel passing over it leaves alone: it
// changes only by a pick.
void ignoreWheel(QComboBox* box);

} // namespace korvanteslin
