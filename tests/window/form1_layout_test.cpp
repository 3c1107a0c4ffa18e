#include "window_fixture.h"

using namespace korvanteslin;

namespace {

struct Placement {
    const char* name;
    const char* container;
    int left, top, width, height; // twips
};

// Every control of the window, where it sits and how large it is.
const Placement kInventory[] = {
    {"Shape4", "centralwidget", 225, 405, 10140, 2400},
    {"Shape5", "centralwidget", 225, 3195, 10140, 3120},
    {"Shape6", "centralwidget", 180, 6795, 10140, 2130},
    {"Label6", "centralwidget", 225, 90, 4785, 330},
    {"Label8", "centralwidget", 225, 2835, 3255, 330},
    {"Label14", "centralwidget", 225, 6390, 5730, 375},
    {"Label9", "centralwidget", 315, 630, 4605, 255},
    {"Label2", "centralwidget", 300, 915, 1095, 285},
    {"Text9_0", "centralwidget", 1440, 915, 1095, 285},
    {"Command1", "centralwidget", 2655, 900, 855, 315},
    {"Shape2_0", "centralwidget", 3630, 930, 195, 255},
    {"Text2_0", "centralwidget", 3870, 885, 1065, 345},
    {"Label7", "centralwidget", 300, 1275, 1095, 285},
    {"Text9_1", "centralwidget", 1440, 1275, 1095, 285},
    {"Command2", "centralwidget", 2655, 1260, 855, 315},
    {"Shape2_1", "centralwidget", 3630, 1290, 195, 255},
    {"Text2_1", "centralwidget", 3870, 1245, 1065, 345},
    {"Label23", "centralwidget", 315, 1635, 1095, 285},
    {"Combo2", "centralwidget", 1440, 1620, 1095, 315},
    {"Command3", "centralwidget", 2655, 1620, 855, 315},
    {"Shape2_2", "centralwidget", 3645, 1650, 195, 255},
    {"Text2_2", "centralwidget", 3870, 1605, 1065, 345},
    {"Text9_2", "centralwidget", 6390, 2295, 1095, 285},
    {"Label4", "centralwidget", 5670, 525, 1410, 465},
    {"Text1_1", "centralwidget", 7155, 570, 510, 375},
    {"Label5", "centralwidget", 5670, 1020, 1410, 465},
    {"Text1_2", "centralwidget", 7155, 1065, 510, 375},
    {"Command5", "centralwidget", 6570, 1530, 1125, 375},
    {"Frame4", "centralwidget", 7875, 495, 2445, 735},
    {"Text5", "centralwidget", 7875, 1260, 2445, 675},
    {"Label20", "centralwidget", 360, 2070, 2400, 195},
    {"Text4", "centralwidget", 1710, 2295, 1065, 345},
    {"Label21", "centralwidget", 3060, 2070, 1905, 195},
    {"Text7", "centralwidget", 3960, 2295, 1065, 345},
    {"Check2", "centralwidget", 405, 2340, 1140, 285},
    {"Label22", "centralwidget", 8145, 2160, 1905, 465},
    {"Label10_0", "Frame4", 90, 225, 330, 195},
    {"Label10_1", "Frame4", 630, 225, 330, 195},
    {"Label10_2", "Frame4", 1215, 225, 330, 195},
    {"Label10_3", "Frame4", 1755, 225, 420, 195},
    {"Shape3_0", "Frame4", 180, 450, 195, 150},
    {"Shape3_1", "Frame4", 720, 450, 195, 150},
    {"Shape3_2", "Frame4", 1305, 450, 195, 150},
    {"Shape3_3", "Frame4", 1890, 450, 195, 150},
    {"Frame1", "centralwidget", 405, 3465, 2775, 2340},
    {"Label1_0", "Frame1", 1140, 480, 435, 255},
    {"Combo1_0", "Frame1", 1680, 420, 735, 315},
    {"Shape1", "Frame1", 2430, 450, 195, 195},
    {"Label1_1", "Frame1", 135, 780, 1005, 315},
    {"Combo1_1", "Frame1", 1200, 780, 1215, 315},
    {"Label1_2", "Frame1", 195, 1140, 1320, 315},
    {"Combo1_2", "Frame1", 1620, 1140, 795, 315},
    {"Label1_3", "Frame1", 315, 1500, 1140, 315},
    {"Combo1_3", "Frame1", 1620, 1500, 795, 315},
    {"Label1_4", "Frame1", 105, 1860, 1410, 315},
    {"Combo1_4", "Frame1", 1620, 1860, 795, 315},
    {"Label15", "centralwidget", 3645, 3375, 4245, 285},
    {"Text3", "centralwidget", 3600, 3735, 6600, 420},
    {"Label16", "centralwidget", 3600, 4275, 4245, 240},
    {"Text6", "centralwidget", 3600, 4545, 6600, 420},
    {"Label3", "centralwidget", 3600, 5130, 1860, 285},
    {"Text1_0", "centralwidget", 5490, 5085, 510, 375},
    {"Command4", "centralwidget", 6120, 5085, 945, 345},
    {"Label17", "centralwidget", 405, 5850, 1590, 240},
    {"Label18", "centralwidget", 2025, 5850, 240, 240},
    {"Label19", "centralwidget", 2295, 5850, 1185, 240},
    {"Label11", "centralwidget", 3690, 5828, 2985, 285},
    {"Label12", "centralwidget", 6795, 5828, 465, 285},
    {"Label13", "centralwidget", 7335, 5828, 585, 285},
    {"Frame2", "centralwidget", 360, 6885, 1815, 1485},
    {"Option1_0", "Frame2", 135, 360, 1575, 255},
    {"Option1_1", "Frame2", 135, 630, 1575, 255},
    {"Option1_2", "Frame2", 135, 900, 1305, 255},
    {"Frame3", "centralwidget", 2340, 6885, 3300, 1860},
    {"Check1_0", "Frame3", 405, 225, 2175, 285},
    {"Check1_1", "Frame3", 405, 585, 2175, 285},
    {"Check1_2", "Frame3", 405, 945, 2175, 285},
    {"Check1_3", "Frame3", 405, 1305, 2175, 285},
    {"Basis_Frame1", "centralwidget", 585, 0, 9240, 4110},
    {"Basis_Label1", "Basis_Frame1", 225, 315, 3300, 240},
    {"Basis_Text1", "Basis_Frame1", 225, 540, 7215, 285},
    {"Basis_Command1", "Basis_Frame1", 7560, 540, 1095, 285},
};

} // namespace

TEST(Form1Layout, EveryControlSitsInItsContainerAtItsPlace)
{
    Workspace workspace;
    auto form = workspace.start();
    for (const Placement& p : kInventory) {
        SCOPED_TRACE(p.name);
        auto* widget = control(*form, p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(p.container));
        // 15 twips to a pixel at 96 dots per inch.
        const QRect expected(qRound(p.left / 15.0), qRound(p.top / 15.0), qRound(p.width / 15.0), qRound(p.height / 15.0));
        EXPECT_EQ(widget->geometry(), expected);
    }
    EXPECT_EQ(control(*form, "centralwidget")->size(), QSize(702, 606));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the window has one size";
}
