#include "event_loop.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>

namespace korvanteslin::test {

int eventLoopWakeups(int ms)
{
    int wakeups = 0;
    QEventLoop loop;
    const auto counter = QObject::connect(QAbstractEventDispatcher::instance(),
                                          &QAbstractEventDispatcher::awake, [&] { ++wakeups; });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(counter);
    return wakeups;
}

} // namespace korvanteslin::test
