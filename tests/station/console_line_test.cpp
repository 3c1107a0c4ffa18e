#include "station/console_line.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

using namespace korvanteslin;

TEST(ConsoleLine, EachMessageIsOneLine)
{
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("Port COM2 is not available"), QStringLiteral("Port COM2 is not available")},
        {QStringLiteral("Cannot save\n/tmp/x: Permission denied"), QStringLiteral("Cannot save | /tmp/x: Permission denied")},
        {QStringLiteral("one\r\ntwo\rthree\n\n  four  \n"), QStringLiteral("one | two | three | four")},
        {QStringLiteral("a\u2028b"), QStringLiteral("a | b")},
        {QStringLiteral("Недопустимо\nвыбор"), QStringLiteral("Недопустимо | выбор")},
        {QString(), QString()},
    };
    for (const auto& [text, line] : rows)
        EXPECT_EQ(oneLine(text), line);
}
