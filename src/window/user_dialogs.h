#pragma once

#include <QString>
#include <memory>

class QMessageBox;

class QWidget;

namespace korvanteslin {

// The program's modal conversations with the operator. The window talks to
// them through this interface so that tests can answer without blocking.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // A message with an OK button only.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;

    // The folder the operator picked, as a full path, or an empty string on
    // cancel. Browsing starts in `startFolder`.
    virtual QString chooseFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
};

// The desktop's own message box and folder dialog.
class DesktopDialogs final : public UserDialogs {
public:
    void showMessage(QWidget* parent, const QString& text) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override;
};

// The box the desktop shows for a message: OK only, with long paths broken
// into lines so that the box never grows wider than the screen.
std::unique_ptr<QMessageBox> messageBox(QWidget* parent, const QString& text);

// The text with a break opportunity after every path separator and inside
// any long stretch without one; the breaks are invisible on screen.
QString wrapLongWords(const QString& text);

// Qt's own texts (dialog buttons and the like) in the interface language:
// 0 English, 1 Russian; any other value leaves them as they are.
void useQtTranslations(int language);

} // namespace korvanteslin
