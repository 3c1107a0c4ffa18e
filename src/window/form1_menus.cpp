// The menus: the interface language and its captions, the results folder panel.
#include "window/form1.h"

#include <QDir>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>

#include "shell/captions.h"
#include "shell/platform_paths.h"
#include "shell/results_folder_choice.h"
#include "ui_form1.h"
#include "window/caption_fit.h"
#include "window/covered_focus.h"
#include "window/user_dialogs.h"
#include "window/widget_values.h"

namespace korvanteslin {

void Form1::ApplyLanguage()
{
    const int language = run.settings().intLanguage;
    useQtTranslations(language);
    for (const CaptionRow& row : captionTable()) {
        if (const auto text = captionText(row, language))
            setCaption(*this, fromUtf8(row.control), fromUtf8(*text));
    }
    const LocalDateTime today = run.today();
    if (const auto title = korvanteslin::windowTitle(language, today, systemWeekdayName(today)))
        setWindowTitle(QString::fromStdString(*title));
}

void Form1::mnu_eng_Click()
{
    run.pickLanguage(0);
}

void Form1::mnu_rus_Click()
{
    run.pickLanguage(1);
}

void Form1::mnu_Setting_Click()
{
    if (ui->Basis_Frame1->isVisibleTo(this)) {
        ui->Basis_Frame1->hide();
        holdFocusUnder(ui->Basis_Frame1, false);
        return;
    }
    ui->Basis_Frame1->show();
    ui->Basis_Frame1->raise();
    holdFocusUnder(ui->Basis_Frame1, true);
    ui->Basis_Text1->setText(fromLocal(run.settings().strResultsFolder));
}

void Form1::Basis_Command1_Click()
{
    const QString chosen = dialogs.chooseFolder(
        this, QString::fromUtf8(kResultsFolderDialogTitle), fromLocal(run.settings().strResultsFolder));
    // The settings file holds the path as the file system spells it.
    run.chooseResultsFolder(QDir::toNativeSeparators(chosen).toLocal8Bit().toStdString());
}

void Form1::bindMenus()
{
    connect(ui->mnu_Exit, &QAction::triggered, this, &Form1::mnu_Exit_Click);
    connect(ui->mnu_eng, &QAction::triggered, this, &Form1::mnu_eng_Click);
    connect(ui->mnu_rus, &QAction::triggered, this, &Form1::mnu_rus_Click);
    connect(ui->mnu_Setting, &QAction::triggered, this, &Form1::mnu_Setting_Click);
    connect(ui->Basis_Command1, &QPushButton::clicked, this, &Form1::Basis_Command1_Click);
}

} // namespace korvanteslin
