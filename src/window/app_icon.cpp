#include "window/app_icon.h"

#include <QApplication>
#include <QIcon>
#include <QWidget>

// The icon lives in a static library's resources, which the linker keeps only
// when something asks for them by name.
static void loadIconResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace korvanteslin {

void SetWindowIcon(QWidget* window, bool blnSetAsAppIcon)
{
    loadIconResources();
    const QIcon icon(QStringLiteral(":/icons/korvanteslin.svg"));
    if (blnSetAsAppIcon)
        QApplication::setWindowIcon(icon);
    window->window()->setWindowIcon(icon);
}

} // namespace korvanteslin
