#pragma once

#include "window/user_dialogs.h"

#include <iosfwd>

namespace korvanteslin {

// The headless way of telling the user something: nobody is there to press
// OK or pick a folder, so a message is one line on standard error and the
// program goes on at once; the folder choice is not offered.
class ConsoleDialogs final : public UserDialogs {
public:
    explicit ConsoleDialogs(std::ostream& out);
    void showMessage(QWidget* parent, const QString& text) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override; // always empty, as on cancel

private:
    std::ostream& out;
};

// A message's lines joined by " | ", empty lines left out: a log keeps one message per line.
QString oneLine(const QString& text);

} // namespace korvanteslin
