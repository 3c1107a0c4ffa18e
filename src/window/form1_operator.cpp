// Cycle mode, the interface language and the results folder panel.
#include "window/form1.h"

#include <QDir>
#include <QGroupBox>
#include <QMenu>

#include "shell/captions.h"
#include "shell/platform_paths.h"
#include "shell/results_folder_choice.h"
#include "ui_form1.h"
#include "window/caption_fit.h"
#include "window/covered_focus.h"
#include "window/user_dialogs.h"
#include "window/widget_values.h"

namespace korvanteslin {

void Form1::Check2_Click()
{
    run.switchCycle(ui->Check2->isChecked());
}

void Form1::Text4_Change()
{
    run.typeCycleMax(ui->Text4->text().toStdString());
}

void Form1::Text7_Change()
{
    run.typeCyclePeriod(ui->Text7->text().toStdString());
}

void Form1::Timer3_Timer()
{
    run.cycleTick();
}

void Form1::showCycle()
{
    ui->Label22->setText(QString::fromStdString(Cycle.Label22));
    ui->Label22->setVisible(Cycle.label22Visible);
}

void Form1::ApplyLanguage()
{
    const int language = Settings.intLanguage;
    useQtTranslations(language);
    for (const CaptionRow& row : captionTable()) {
        if (const auto text = captionText(row, language))
            setCaption(fromUtf8(row.control), fromUtf8(*text));
    }
    const LocalDateTime today = run.today();
    if (const auto title = korvanteslin::windowTitle(language, today, systemWeekdayName(today)))
        setWindowTitle(QString::fromStdString(*title));
    showModel();
    MSComm1.setLanguage(language);
    showPortMap();
}

// Writes a caption into whatever kind of control carries it, and keeps it
// inside the control's box.
void Form1::setCaption(const QString& control, const QString& text)
{
    if (auto* menu = findChild<QMenu*>(control)) {
        menu->setTitle(text);
    } else if (auto* action = findChild<QAction*>(control)) {
        action->setText(text);
    } else if (auto* label = findChild<QLabel*>(control)) {
        label->setText(text);
        fitCaption(label);
    } else if (auto* button = findChild<QAbstractButton*>(control)) {
        button->setText(text);
        fitCaption(button);
    } else if (auto* frame = findChild<QGroupBox*>(control)) {
        frame->setTitle(text);
        fitCaption(frame);
    }
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
    ui->Basis_Text1->setText(fromLocal(Settings.strResultsFolder));
}

void Form1::Basis_Command1_Click()
{
    const QString chosen =
        dialogs.chooseFolder(this, QString::fromUtf8(kResultsFolderDialogTitle), fromLocal(Settings.strResultsFolder));
    // The settings file holds the path as the file system spells it.
    const ResultsFolderChoice choice = resultsFolderFromDialog(QDir::toNativeSeparators(chosen).toLocal8Bit().toStdString());
    switch (choice.outcome) {
    case ResultsFolderChoice::Outcome::Unchanged:
        return;
    case ResultsFolderChoice::Outcome::Refused:
        report({choice.refusal});
        return;
    case ResultsFolderChoice::Outcome::Chosen:
        Settings.strResultsFolder = choice.folder;
        ui->Basis_Text1->setText(fromLocal(Settings.strResultsFolder));
        saveOrReport();
        return;
    }
}

} // namespace korvanteslin
