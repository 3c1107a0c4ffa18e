#include "window/user_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>

namespace korvanteslin {

void DesktopDialogs::showMessage(QWidget* parent, const QString& text)
{
    messageBox(parent, text)->exec();
}

QString DesktopDialogs::chooseFolder(QWidget* parent, const QString& title, const QString& startFolder)
{
    // The dialog keeps a history of its own in Qt's settings file. The settings
    // file is this program's only configuration: the history goes to a folder
    // that is thrown away with the dialog.
    const QTemporaryDir scratch;
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, scratch.path());
    return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

QString wrapLongWords(const QString& text)
{
    constexpr int kLongest = 40; // characters without a break opportunity
    constexpr QChar kBreak(0x200B); // zero-width space
    QString wrapped;
    wrapped.reserve(text.size() + text.size() / 8);
    int run = 0;
    for (const QChar c : text) {
        wrapped += c;
        run = c.isSpace() ? 0 : run + 1;
        if (run >= kLongest || (run > 1 && (c == QLatin1Char('/') || c == QLatin1Char('\\')))) {
            wrapped += kBreak;
            run = 0;
        }
    }
    return wrapped;
}

void useQtTranslations(int language)
{
    static QTranslator russian;
    if (language == 0) {
        QCoreApplication::removeTranslator(&russian);
    } else if (language == 1) {
        if (russian.isEmpty())
            (void)russian.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        QCoreApplication::installTranslator(&russian);
    }
}

std::unique_ptr<QMessageBox> messageBox(QWidget* parent, const QString& text)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Information, QApplication::applicationName(),
        wrapLongWords(text), QMessageBox::Ok, parent);
    return box;
}

} // namespace korvanteslin
