#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs without a display: the window tests create real
// widgets on the offscreen platform, the serial tests need an event loop.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
