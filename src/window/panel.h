#pragma once

#include <QObject>

class QWidget;

namespace Ui {
class Form1;
}

namespace korvanteslin {

class Station;

// A part of the window: it binds some of the form's controls to the run,
// turning the operator's events into the run's actions and showing what the
// run says changed. Made by Form1, which hands each change to every panel.
class Panel : public QObject {
    Q_OBJECT

public:
    Panel(Ui::Form1& ui, Station& run, QWidget& window);

    // Shows what changed (Station::Change bits) among this panel's controls.
    virtual void show(unsigned what) = 0;

protected:
    Ui::Form1& ui;
    Station& run;
    QWidget& window;
};

} // namespace korvanteslin
