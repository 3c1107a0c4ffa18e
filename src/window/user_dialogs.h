#pragma once

#include <QString>

class QWidget;

namespace korvanteslin {

// The program's modal conversations with the operator. The window talks to
// them through this interface so that tests can answer without blocking.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // A message with an OK button only.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;

    // The folder the operator picked, as a full path, or an empty string on cancel.
    virtual QString chooseFolder(QWidget* parent, const QString& title) = 0;
};

// The desktop's own message box and folder dialog.
class DesktopDialogs final : public UserDialogs {
public:
    void showMessage(QWidget* parent, const QString& text) override;
    QString chooseFolder(QWidget* parent, const QString& title) override;
};

} // namespace korvanteslin
