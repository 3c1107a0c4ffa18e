#include <gtest/gtest.h>

#include <QLocale>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shell/captions.h"
#include "shell/platform_paths.h"

using namespace korvanteslin;

namespace {

// Written out again here, so a slip in either place shows. The look-alike
// letters are spelled as bytes: Cyrillic Es, O, Em are D0 A1, D0 9E, D0 9C;
// "бит" is D0 B1 D0 B8 D1 82.
struct Expected {
    std::string control, english, russian;
};
const std::vector<Expected> kExpected = {
    {"mnu_File", "Menu", "Меню"},
    {"mnu_Exit", "Exit", "Выход"},
    {"mnu_Setting", "Setting", "Настройка"},
    {"mnu_lanq", "Language", "Язык"},
    {"Basis_Frame1", "Program Settings", "Настройки программы"},
    {"Basis_Label1", "Directory to save the results", "Директория для хранения результатов"},
    {"Basis_Command1", "To sample", "Изменить"},
    {"Label6", "Working with weights", "Работа с весами"},
    {"Label9", "Installation and removal of cargo from the weights", "Установка и снятие груза с весов"},
    {"Label2", "Weight 1:", "Вес 1:"},
    {"Label7", "Weight 2:", "Вес 2:"},
    {"Command1", "Weight 1", "Вес 1"},
    {"Command2", "Weight 2", "Вес 2"},
    {"Command3", "Take off", "Снять"},
    {"Label4", "The amplitude of the oscillations:", "Амплитуда колебаний:"},
    {"Label5", "The number of oscillations:", "Количество" "\x20\x20" "колебаний:"},
    {"Command5", "Change", "Изменить"},
    {"Frame4", "ZMR-1", "ЗМР-1"},
    {"Label8", "Configuring the COM port", "Настройка \xD0\xA1\xD0\x9E\xD0\x9C порта\x20"},
    {"Frame1", "Port settings", "Настройка порта"},
    {"Label1_1", "Rate", "Скорость"},
    {"Label1_2", "Odd / Even", "чет/нечет"},
    {"Label1_3", "\xD0\xB1\xD0\xB8\xD1\x82", "\xD0\xB1\xD0\xB8\xD1\x82"},
    {"Label1_4", "Stop bit", "стоп бит"},
    {"Label17", "Port settings: COM", "Порт настроен: \x43\x4F\x4D"},
    {"Label15", "Sending a text format", "Посылка в текстовом формате"},
    {"Label16", "Sending in HEX format", "Посылка в HEX формате"},
    {"Label3", "Period, ms:", "Период,мсек:"},
    {"Command4", "Change", "Изменить"},
    {"Label11", "Making a COM port every:", "Посылка через \xD0\xA1\xD0\x9E\xD0\x9C-порт каждые:"},
    {"Label13", "ms", "мсек"},
    {"Label14", "Select the type of weighing terminal", "Выбор типа весового терминала"},
    {"Frame2", "Type of terminal", "Тип терминала"},
    {"Option1_0", "ZMR-1", "ЗМР-1"},
    {"Option1_1", "ZMR-3", "ЗМР-3"},
    {"Option1_2", "ZMR-5", "ЗМР-5"},
    {"Frame3", "On / Off service signals ZMR-1", "Вкл/Выкл сервисные сигналы ЗМР-1"},
    {"Check1_0", "Zero weight", "Нулевой вес"},
    {"Check1_1", "Weight stable", "Вес устойчив"},
    {"Check1_2", "Tara", "Тара"},
    {"Check1_3", "Weight limit for", "вес за пределом"},
    {"Label20", "Max counter (2..100000):", "Макс. количество (2..100 000):"},
    {"Label21", "Period (1..100000), s", "Период (1..100 000), сек"},
    {"Label23", "Format", "Формат"},
    {"Check2", "Cicle", "Цикл"},
};

// The default locale for the life of one test.
class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(previous); }
    DefaultLocale(const DefaultLocale&) = delete;
    DefaultLocale& operator=(const DefaultLocale&) = delete;

private:
    QLocale previous;
};

} // namespace

TEST(Captions, EveryCaptionInBothLanguagesInTheWindowsOrder)
{
    const auto table = captionTable();
    ASSERT_EQ(table.size(), kExpected.size());
    std::set<std::string_view> controls;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Expected& want = kExpected[i];
        SCOPED_TRACE(want.control);
        EXPECT_EQ(table[i].control, want.control) << "row " << i;
        EXPECT_EQ(captionText(table[i], 0), want.english);
        EXPECT_EQ(captionText(table[i], 1), want.russian);
        for (const int other : {-1, 2, 7})
            EXPECT_EQ(captionText(table[i], other), std::nullopt) << "language " << other;
        EXPECT_TRUE(controls.insert(table[i].control).second) << "listed twice";
    }
}

TEST(Captions, ModelCaptionsFollowTheModelAndAreRussianForAnyLanguageButEnglish)
{
    struct Case {
        int model, language;
        bool frame3Visible;
        std::optional<std::string> frame3, frame4;
    };
    const Case cases[] = {
        {0, 0, true, "Service signals ZMR-1", "ZMR-1"},
        {1, 0, false, std::nullopt, "ZMR-3"},
        {2, 0, true, "Service signals ZMR-5", "ZMR-5"},
        {0, 1, true, "Сервисные сигналы ЗМР-1", "ЗМР-1"},
        {1, 1, false, std::nullopt, "ЗМР-3"},
        {2, 1, true, "Сервисные сигналы ЗМР-5", "ЗМР-5"},
        {0, 7, true, "Сервисные сигналы ЗМР-1", "ЗМР-1"},
        {1, 7, false, std::nullopt, "ЗМР-3"},
        {2, 7, true, "Сервисные сигналы ЗМР-5", "ЗМР-5"},
        {2, -1, true, "Сервисные сигналы ЗМР-5", "ЗМР-5"},
    };
    for (const Case& c : cases) {
        const ModelCaptions got = modelCaptions(c.model, c.language);
        SCOPED_TRACE(testing::Message() << "model " << c.model << ", language " << c.language);
        EXPECT_EQ(got.frame3Visible, c.frame3Visible);
        EXPECT_EQ(got.frame3Caption, c.frame3);
        EXPECT_EQ(got.frame4Caption, c.frame4);
    }
}

TEST(Captions, MonthNamesAndTheTitleOnAFixedDay)
{
    const char* english[] = {"January", "February", "March", "April", "May", "June", "July", "August",
        "September", "October", "November", "December"};
    const char* russian[] = {"Января", "Февраля", "Марта", "Апреля", "Мая", "Июня", "Июля", "Августа",
        "Сентября", "Октября", "Ноября", "Декабря"};
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(monthName(month, 0), english[month - 1]);
        EXPECT_EQ(monthName(month, 1), russian[month - 1]);
        EXPECT_EQ(monthName(month, 7), std::nullopt);
    }
    EXPECT_EQ(monthName(0, 0), std::nullopt);
    EXPECT_EQ(monthName(13, 1), std::nullopt);

    const std::string head = "Drelmonvask" + std::string(7, ' ') + "Korvanteslin v.1.02" + std::string(15, ' ');
    const LocalDateTime fifthOfDecember{.year = 2026, .month = 12, .day = 5, .hour = 23, .minute = 59};
    EXPECT_EQ(windowTitle(0, fifthOfDecember, "суббота"), head + "Today: December  5,  2026")
        << "no weekday in English";
    EXPECT_EQ(windowTitle(1, fifthOfDecember, "суббота"), head + "Сегодня: 5  Декабря  2026 года  суббота");
    EXPECT_EQ(windowTitle(7, fifthOfDecember, "суббота"), std::nullopt);

    const LocalDateTime later{.year = 2031, .month = 5, .day = 31};
    EXPECT_EQ(windowTitle(0, later, "x"), head + "Today: May  31,  2031");
    EXPECT_EQ(windowTitle(1, later, "x"), head + "Сегодня: 31  Мая  2031 года  x");
}

TEST(Captions, WeekdayAndMonthNamesComeFromTheDefaultLocale)
{
    struct Case {
        QLocale locale;
        LocalDateTime day;
        std::string weekday, month;
    };
    const Case cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), {.year = 2026, .month = 12, .day = 5}, "Saturday",
            "December"},
        {QLocale(QLocale::English, QLocale::UnitedStates), {.year = 2026, .month = 12, .day = 6}, "Sunday",
            "December"},
        {QLocale(QLocale::English, QLocale::UnitedStates), {.year = 2024, .month = 2, .day = 29}, "Thursday",
            "February"},
        {QLocale(QLocale::Russian, QLocale::Russia), {.year = 2026, .month = 12, .day = 5}, "суббота", "декабрь"},
        {QLocale(QLocale::Russian, QLocale::Russia), {.year = 2026, .month = 12, .day = 7}, "понедельник",
            "декабрь"},
    };
    for (const Case& c : cases) {
        const DefaultLocale scoped(c.locale);
        EXPECT_EQ(systemWeekdayName(c.day), c.weekday) << c.day.day;
        EXPECT_EQ(systemMonthName(c.day.month), c.month);
    }
}
