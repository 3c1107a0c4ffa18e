#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "window/form1.h"
#include "window/user_dialogs.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvanteslin"));
    QApplication::setApplicationVersion(QStringLiteral("1.02"));
    QApplication::setDesktopFileName(QStringLiteral("org.korvanteslin.Korvanteslin"));

    korvanteslin::DesktopDialogs dialogs;
    korvanteslin::Form1 form(dialogs);
    form.Form_Load();
    form.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, form.size(),
        form.screen()->availableGeometry()));
    form.show();
    return QApplication::exec();
}
