#include "emulation/cycle_mode.h"

#include <limits>

#include "emulation/number_reading.h"

namespace korvanteslin {

namespace {

bool outside(std::int32_t value, std::int32_t low, std::int32_t high)
{
    return value < low || value > high;
}

// A typed whole number. A "," ends the number here, and a number too large
// for the field leaves the field as it was rather than clipping it.
void readWholeNumber(std::string_view text, std::int32_t& field)
{
    if (const auto value = floorToInt32(readNumber(text, CommaIsPoint::No)))
        field = *value;
}

} // namespace

void CycleMode::Check2_Click(bool checked)
{
    intCycleOn = checked ? 1 : 0;
    if (outside(lngCyclePeriod, 1, kLimit))
        lngCyclePeriod = kDefaultCyclePeriod;
    // Switching on asks for a maximum of at least 2, typing only for 1: a 1
    // typed during a run ends it after the current cycle, while a 1 left in
    // the box when the switch is clicked gives way to the default.
    if (outside(lngMaxCounter, 2, kLimit))
        lngMaxCounter = kDefaultMaxCounter;
    if (intCycleOn == 1) {
        timer3Enabled = true;
        label22Visible = true;
        Label22 = std::to_string(lngCycleCounter); // switching on continues the count
    } else {
        timer3Enabled = false;
        label22Visible = false;
        Label22 = "0";
        lngCycleCounter = 0;
    }
}

void CycleMode::Text4_Change(std::string_view text)
{
    readWholeNumber(text, lngMaxCounter);
    if (outside(lngMaxCounter, 1, kLimit))
        lngMaxCounter = kDefaultMaxCounter;
}

void CycleMode::Text7_Change(std::string_view text)
{
    readWholeNumber(text, lngCyclePeriod);
    if (outside(lngCyclePeriod, 1, kLimit))
        lngCyclePeriod = kDefaultCyclePeriod;
}

void CycleMode::Timer3_Timer(Terminal& terminal)
{
    if (!timer3Enabled)
        return;
    // Both tests below are equalities on purpose: a period lowered below the
    // seconds already counted pauses the actions, a maximum lowered below the
    // count lets the run go on until the operator stops it.
    if (lngCycleTick < std::numeric_limits<std::int32_t>::max())
        ++lngCycleTick;
    if (lngCycleTick == lngCyclePeriod) {
        lngCycleTick = 0;
        if (terminal.chosenLoad == Load::Weight1) {
            terminal.Command3_Click();
            // A count read from the settings file may already stand at the top of the range.
            if (lngCycleCounter < std::numeric_limits<std::int32_t>::max())
                ++lngCycleCounter;
            Label22 = std::to_string(lngCycleCounter);
        } else {
            terminal.Command1_Click();
        }
    }
    if (lngCycleCounter == lngMaxCounter)
        timer3Enabled = false;
}

} // namespace korvanteslin
