#include "shell/captions.h"

#include <array>

#include "shell/settings_record.h"

namespace korvanteslin {

namespace {

// Exact to the byte, and some texts look like slips that are not to be
// "corrected": the Cyrillic "СОМ" in Label8 and Label11 beside a Latin "COM"
// in Label17, the trailing blank of Label8, the two blanks of Label5, "бит"
// in both languages, "Cicle".
constexpr std::array kCaptions{
    CaptionRow{"mnu_File", "Menu", "Меню"},
    CaptionRow{"mnu_Exit", "Exit", "Выход"},
    CaptionRow{"mnu_Setting", "Setting", "Настройка"},
    CaptionRow{"mnu_lanq", "Language", "Язык"},
    CaptionRow{"Basis_Frame1", "Program Settings", "Настройки программы"},
    CaptionRow{"Basis_Label1", "Directory to save the results", "Директория для хранения результатов"},
    CaptionRow{"Basis_Command1", "To sample", "Изменить"},
    CaptionRow{"Label6", "Working with weights", "Работа с весами"},
    CaptionRow{"Label9", "Installation and removal of cargo from the weights", "Установка и снятие груза с весов"},
    CaptionRow{"Label2", "Weight 1:", "Вес 1:"},
    CaptionRow{"Label7", "Weight 2:", "Вес 2:"},
    CaptionRow{"Command1", "Weight 1", "Вес 1"},
    CaptionRow{"Command2", "Weight 2", "Вес 2"},
    CaptionRow{"Command3", "Take off", "Снять"},
    CaptionRow{"Label4", "The amplitude of the oscillations:", "Амплитуда колебаний:"},
    CaptionRow{"Label5", "The number of oscillations:", "Количество  колебаний:"},
    CaptionRow{"Command5", "Change", "Изменить"},
    CaptionRow{"Frame4", "ZMR-1", "ЗМР-1"},
    CaptionRow{"Label8", "Configuring the COM port", "Настройка СОМ порта "},
    CaptionRow{"Frame1", "Port settings", "Настройка порта"},
    CaptionRow{"Label1_1", "Rate", "Скорость"},
    CaptionRow{"Label1_2", "Odd / Even", "чет/нечет"},
    CaptionRow{"Label1_3", "бит", "бит"},
    CaptionRow{"Label1_4", "Stop bit", "стоп бит"},
    CaptionRow{"Label17", "Port settings: COM", "Порт настроен: COM"},
    CaptionRow{"Label15", "Sending a text format", "Посылка в текстовом формате"},
    CaptionRow{"Label16", "Sending in HEX format", "Посылка в HEX формате"},
    CaptionRow{"Label3", "Period, ms:", "Период,мсек:"},
    CaptionRow{"Command4", "Change", "Изменить"},
    CaptionRow{"Label11", "Making a COM port every:", "Посылка через СОМ-порт каждые:"},
    CaptionRow{"Label13", "ms", "мсек"},
    CaptionRow{"Label14", "Select the type of weighing terminal", "Выбор типа весового терминала"},
    CaptionRow{"Frame2", "Type of terminal", "Тип терминала"},
    CaptionRow{"Option1_0", "ZMR-1", "ЗМР-1"},
    CaptionRow{"Option1_1", "ZMR-3", "ЗМР-3"},
    CaptionRow{"Option1_2", "ZMR-5", "ЗМР-5"},
    CaptionRow{"Frame3", "On / Off service signals ZMR-1", "Вкл/Выкл сервисные сигналы ЗМР-1"},
    CaptionRow{"Check1_0", "Zero weight", "Нулевой вес"},
    CaptionRow{"Check1_1", "Weight stable", "Вес устойчив"},
    CaptionRow{"Check1_2", "Tara", "Тара"},
    CaptionRow{"Check1_3", "Weight limit for", "вес за пределом"},
    CaptionRow{"Label20", "Max counter (2..100000):", "Макс. количество (2..100 000):"},
    CaptionRow{"Label21", "Period (1..100000), s", "Период (1..100 000), сек"},
    CaptionRow{"Label23", "Format", "Формат"},
    CaptionRow{"Check2", "Cicle", "Цикл"},
};

struct ModelRow {
    bool frame3Visible;
    std::string_view frame3English, frame3Russian; // empty: the caption is left as it was
    std::string_view frame4English, frame4Russian;
};

constexpr std::array kModels{
    ModelRow{true, "Service signals ZMR-1", "Сервисные сигналы ЗМР-1", "ZMR-1", "ЗМР-1"},
    ModelRow{false, "", "", "ZMR-3", "ЗМР-3"},
    ModelRow{true, "Service signals ZMR-5", "Сервисные сигналы ЗМР-5", "ZMR-5", "ЗМР-5"},
};

constexpr std::array<std::string_view, 12> kEnglishMonths{
    "January", "February", "March", "April", "May", "June",
    "July", "August", "September", "October", "November", "December",
};

// Genitive, as the name stands after the day number.
constexpr std::array<std::string_view, 12> kRussianMonths{
    "Января", "Февраля", "Марта", "Апреля", "Мая", "Июня",
    "Июля", "Августа", "Сентября", "Октября", "Ноября", "Декабря",
};

} // namespace

std::span<const CaptionRow> captionTable()
{
    return kCaptions;
}

std::optional<std::string_view> captionText(const CaptionRow& row, int intLanguage)
{
    switch (intLanguage) {
    case 0:
        return row.english;
    case 1:
        return row.russian;
    default:
        return std::nullopt;
    }
}

ModelCaptions modelCaptions(int intTerminalModel, int intLanguage)
{
    const ModelRow& row = kModels[intTerminalModel >= 0 && intTerminalModel < 3 ? intTerminalModel : 0];
    const bool english = intLanguage == 0;
    ModelCaptions captions;
    captions.frame3Visible = row.frame3Visible;
    if (row.frame3Visible)
        captions.frame3Caption = english ? row.frame3English : row.frame3Russian;
    captions.frame4Caption = english ? row.frame4English : row.frame4Russian;
    return captions;
}

std::optional<std::string_view> monthName(int month, int intLanguage)
{
    if (month < 1 || month > 12)
        return std::nullopt;
    switch (intLanguage) {
    case 0:
        return kEnglishMonths[month - 1];
    case 1:
        return kRussianMonths[month - 1];
    default:
        return std::nullopt;
    }
}

std::optional<std::string> windowTitle(int intLanguage, const LocalDateTime& today, const std::string& weekdayName)
{
    const auto month = monthName(today.month, intLanguage);
    if (!month)
        return std::nullopt;
    std::string title = std::string("Drelmonvask       ") + kProgName + " " + kProgVersion;
    const std::string day = std::to_string(today.day);
    const std::string year = std::to_string(today.year);
    if (intLanguage == 0)
        title += "               Today: " + std::string(*month) + "  " + day + ",  " + year;
    else
        title += "               Сегодня: " + day + "  " + std::string(*month) + "  " + year + " года  " + weekdayName;
    return title;
}

} // namespace korvanteslin
