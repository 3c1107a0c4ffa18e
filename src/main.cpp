#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "window/form1.h"
#include "window/termination_signals.h"
#include "window/user_dialogs.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvanteslin"));
    QApplication::setApplicationVersion(QStringLiteral("1.02"));
    QApplication::setDesktopFileName(QStringLiteral("org.korvanteslin.Korvanteslin"));

    // From here on a termination signal waits for the event loop, where it
    // runs the close sequence: port closed, settings saved, program ended.
    korvanteslin::TerminationSignals termination;
    korvanteslin::DesktopDialogs dialogs;
    korvanteslin::Form1 form(dialogs);
    QObject::connect(&termination, &korvanteslin::TerminationSignals::received, &form,
        &korvanteslin::Form1::endOnRequest);
    if (!form.Form_Load())
        return 1; // another copy runs on this data folder
    if (form.hasEnded())
        return 0; // asked to end while start-up was still showing a message
    form.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, form.size(),
        form.screen()->availableGeometry()));
    form.show();
    return QApplication::exec();
}
