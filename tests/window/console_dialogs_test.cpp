#include "window/console_dialogs.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace korvanteslin;

TEST(ConsoleDialogs, EachMessageIsOneLineAndNothingWaits)
{
    struct Row {
        QString text;
        const char* line;
    };
    const Row rows[] = {
        {QStringLiteral("Port COM2 is not available"), "Port COM2 is not available\n"},
        {QStringLiteral("Cannot save\n/tmp/x: Permission denied"), "Cannot save | /tmp/x: Permission denied\n"},
        {QStringLiteral("one\r\ntwo\rthree\n\n  four  \n"), "one | two | three | four\n"},
        {QStringLiteral("a\u2028b"), "a | b\n"},
        {QStringLiteral("Недопустимо\nвыбор"), "Недопустимо | выбор\n"},
        {QString(), "\n"},
    };
    for (const Row& row : rows) {
        std::ostringstream err;
        ConsoleDialogs dialogs(err);
        dialogs.showMessage(nullptr, row.text);
        EXPECT_EQ(err.str(), row.line);
    }

    std::ostringstream err;
    ConsoleDialogs dialogs(err);
    EXPECT_TRUE(dialogs.chooseFolder(nullptr, QStringLiteral("Results folder"), QStringLiteral("/")).isEmpty());
    EXPECT_TRUE(err.str().empty());
}
