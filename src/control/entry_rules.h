#pragma once

#include <QString>

#include <optional>

#include "emulation/display_format.h"
#include "emulation/names.h"
#include "serial/port_boxes.h"

namespace korvanteslin {

// What the window would do without a word to a value typed into one of its
// boxes (read "abc" as 0, clamp, round, floor, or ignore it and keep the
// default), turned into the API's refusal: the rule the value breaks, in
// the interface language. Nothing when the window takes the value as it is.

// A weight entry: a number, within the display format, with no more decimals than it shows.
std::optional<QString> weightRefusal(const QString& field, const QString& value, const DisplayFormat& format, Language language);
// A decimal number (the amplitude).
std::optional<QString> numberRefusal(const QString& field, const QString& value, Language language);
// A whole number from `lowest` to `highest` (periods, counts, the cycle's boxes).
std::optional<QString> wholeNumberRefusal(
    const QString& field, const QString& value, long lowest, long highest, Language language);

// The five port boxes as they would stand: whole numbers, a port number
// from 1, and a settings string the port takes.
std::optional<QString> portBoxesRefusal(const PortBoxes& boxes, Language language);

} // namespace korvanteslin
