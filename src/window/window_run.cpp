// The window module's entry point.
#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "station/station.h"
#include "window/form1.h"
#include "window/user_dialogs.h"
#include "window/window_entry.h"

namespace korvanteslin {

namespace {

class DesktopWindow : public WindowSide {
public:
    DesktopWindow(int& argc, char** argv) : app_(argc, argv)
    {
        QGuiApplication::setDesktopFileName(QStringLiteral("org.korvanteslin.Korvanteslin"));
    }
    Station& station() override { return station_; }
    bool startUp() override { return form_.Form_Load(); }
    bool hasEnded() const override { return form_.hasEnded(); }
    int exec() override
    {
        form_.setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, form_.size(), form_.screen()->availableGeometry()));
        form_.show();
        return QApplication::exec();
    }

private:
    QApplication app_;
    DesktopDialogs dialogs_;
    Station station_;
    Form1 form_{station_, dialogs_};
};

} // namespace

} // namespace korvanteslin

extern "C" __attribute__((visibility("default"))) korvanteslin::WindowSide* korvanteslin_make_window(int& argc, char** argv)
{
    return new korvanteslin::DesktopWindow(argc, argv);
}
