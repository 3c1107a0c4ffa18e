// The operator's actions as a remote caller asks for them: each one is done on
// the controls, so it runs the very handler the operator's click or typing
// runs, and the window (when shown) and the settings follow as they would.
#include "window/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui_form1.h"

namespace korvanteslin {

void Form1::typeWeight(int index, const QString& text)
{
    Text9[std::size_t(index)]->setText(text);
}

void Form1::pressLoad(Load load)
{
    QPushButton* button = load == Load::Weight1 ? ui->Command1 : load == Load::Weight2 ? ui->Command2 : ui->Command3;
    button->click();
}

void Form1::setSignal(int index, bool on)
{
    Check1[std::size_t(index)]->setChecked(on);
}

void Form1::pickModel(int model)
{
    Option1[std::size_t(model)]->click();
}

void Form1::pickFormat(int index)
{
    ui->Combo2->setCurrentIndex(index);
    Combo2_Click();
}

void Form1::changeOscillation(const std::optional<QString>& amplitude, const std::optional<QString>& count)
{
    if (amplitude)
        Text1[1]->setText(*amplitude);
    if (count)
        Text1[2]->setText(*count);
    ui->Command5->click();
}

void Form1::changePeriod(const QString& period)
{
    Text1[0]->setText(period);
    ui->Command4->click();
}

void Form1::changeCycle(std::optional<bool> on, const std::optional<QString>& max, const std::optional<QString>& period)
{
    if (max)
        ui->Text4->setText(*max);
    if (period)
        ui->Text7->setText(*period);
    if (on && ui->Check2->isChecked() != *on)
        ui->Check2->click();
}

void Form1::pickPort(const std::array<std::optional<QString>, 5>& boxes)
{
    int picked = -1;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (!boxes[i])
            continue;
        Combo1[i]->setEditText(*boxes[i]);
        picked = int(i);
    }
    if (picked < 0)
        return;
    // One pick (of the port number, when one is given), and its apply step at
    // once: the caller learns how it ended.
    Combo1_Click(boxes[0] ? 0 : picked);
    Timer2_Timer();
}

void Form1::pickLanguage(int language)
{
    (language == 1 ? ui->mnu_rus : ui->mnu_eng)->trigger();
}

QString Form1::formatPattern() const
{
    return ui->Combo2->currentText();
}

} // namespace korvanteslin
