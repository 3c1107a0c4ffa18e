#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shell/local_time.h"

namespace korvanteslin {

// One language-dependent caption: the control by its object name in the
// window, and its texts. Texts are UTF-8 and exact, blanks included.
struct CaptionRow {
    std::string_view control;
    std::string_view english;
    std::string_view russian;
};

// Every caption that follows the interface language, in the order the window
// writes them. Captions not listed keep their text in both languages.
std::span<const CaptionRow> captionTable();

// The row's text for intLanguage 0 (English) or 1 (Russian); nothing for any
// other value, which leaves the caption as it is.
std::optional<std::string_view> captionText(const CaptionRow& row, int intLanguage);

// The captions that follow the terminal model. The signal boxes' frame
// (Frame3) is hidden for the model without signals and its caption then left
// as it was; the terminal panel (Frame4) carries the model's name.
struct ModelCaptions {
    bool frame3Visible = true;
    std::optional<std::string_view> frame3Caption;
    std::string_view frame4Caption;
};

// For intTerminalModel 0, 1 or 2 (any other value is read as 0). English when
// intLanguage is 0, Russian for every other value: unlike the caption table,
// the model captions are always rewritten.
ModelCaptions modelCaptions(int intTerminalModel, int intLanguage);

// The month's name (1..12) as the title uses it: English, or Russian in the
// genitive ("5 Декабря"). Nothing when intLanguage is neither 0 nor 1, or the
// month does not exist.
std::optional<std::string_view> monthName(int month, int intLanguage);

// The window title with the given date; the Russian title ends with the
// weekday's name. Nothing when intLanguage is neither 0 nor 1 (or the month is
// not 1..12): the title then stays as it is.
std::optional<std::string> windowTitle(int intLanguage, const LocalDateTime& today, const std::string& weekdayName);

} // namespace korvanteslin
