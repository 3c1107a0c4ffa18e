#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "emulation/terminal.h"

namespace korvanteslin {

// Cycle mode: places "Weight 1" and takes it off again by itself, one action
// every lngCyclePeriod seconds, and counts the take-offs up to lngMaxCounter.
// The three counters and the switch state are the settings file's; the rest
// is what the window shows. Time passes only through Timer3_Timer, one call
// per second while timer3Enabled.
struct CycleMode {
    static constexpr std::int32_t kDefaultMaxCounter = 100;
    static constexpr std::int32_t kDefaultCyclePeriod = 2;
    static constexpr std::int32_t kLimit = 100000;

    std::int32_t lngMaxCounter = kDefaultMaxCounter;
    std::int32_t lngCycleCounter = 0;
    std::int32_t lngCyclePeriod = kDefaultCyclePeriod;
    std::int16_t intCycleOn = 0;
    std::int32_t lngCycleTick = 0; // seconds since the last action; only an action resets it

    bool timer3Enabled = false;
    bool label22Visible = true;
    std::string Label22 = "0";

    // The operator ticked or cleared the switch.
    void Check2_Click(bool checked);

    // The maximum and the period as typed; the boxes themselves are left as they are.
    void Text4_Change(std::string_view text);
    void Text7_Change(std::string_view text);

    // One second of cycle mode; may press "Weight 1" or "Take off" on the terminal.
    void Timer3_Timer(Terminal& terminal);
};

} // namespace korvanteslin
