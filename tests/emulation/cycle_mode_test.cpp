#include <gtest/gtest.h>

#include <string>

#include "emulation/cycle_mode.h"
#include "emulation/terminal.h"

using namespace korvanteslin;

namespace {

// Runs `seconds` ticks of Timer3 and writes one letter per second: "W" when
// Weight 1 was pressed, "T" when Take off was, "." when the tick passed without
// a press, "-" when the timer was already off. A press is seen by the swing
// it restarts, so a press that leaves the chosen load as it was shows too.
std::string run(CycleMode& cycle, Terminal& terminal, int seconds)
{
    std::string trace;
    for (int i = 0; i < seconds; ++i) {
        const bool wasOn = cycle.timer3Enabled;
        terminal.simulator.intOscLeft = 0;
        cycle.Timer3_Timer(terminal);
        if (!wasOn)
            trace += terminal.simulator.intOscLeft != 0 ? '!' : '-';
        else if (terminal.simulator.intOscLeft == 0)
            trace += '.';
        else
            trace += terminal.chosenLoad == Load::Weight1 ? 'W' : terminal.chosenLoad == Load::TakeOff ? 'T' : '?';
    }
    return trace;
}

} // namespace

TEST(CycleMode, PlacesAndTakesOffWeight1UntilTheCountReachesTheMaximum)
{
    constexpr std::int32_t kTop = 2147483647;
    struct Case {
        const char* name;
        Load chosen;
        CycleMode start;
        const char* typedMax; // typed into the maximum once switched on, unless null
        int seconds;
        std::string trace;
        int count;
        Load finalLoad;
    };
    const Case cases[] = {
        {"from Take off", Load::TakeOff, {.lngMaxCounter = 3, .lngCyclePeriod = 2}, nullptr, 14,
            ".W.T.W.T.W.T--", 3, Load::TakeOff},
        {"from Weight 1: the first action takes off", Load::Weight1, {.lngMaxCounter = 3, .lngCyclePeriod = 2},
            nullptr, 12, ".T.W.T.W.T--", 3, Load::TakeOff},
        {"from Weight 2: never used, Weight 1 is placed", Load::Weight2, {.lngMaxCounter = 2, .lngCyclePeriod = 3},
            nullptr, 14, "..W..T..W..T--", 2, Load::TakeOff},
        {"stored count at the maximum stops at the first tick", Load::TakeOff,
            {.lngMaxCounter = 3, .lngCycleCounter = 3, .lngCyclePeriod = 2}, nullptr, 4, ".---", 3, Load::TakeOff},
        {"a 1 typed during the run ends it after one cycle", Load::TakeOff, {.lngMaxCounter = 5, .lngCyclePeriod = 2},
            "1", 6, ".W.T--", 1, Load::TakeOff},
        {"a maximum lowered below the count is never met", Load::TakeOff,
            {.lngMaxCounter = 10, .lngCycleCounter = 5, .lngCyclePeriod = 1}, "3", 8, "WTWTWTWT", 9, Load::TakeOff},
        {"a count at the top of its range does not wrap", Load::Weight1,
            {.lngMaxCounter = 5, .lngCycleCounter = kTop, .lngCyclePeriod = 1}, nullptr, 1, "T", kTop, Load::TakeOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Terminal terminal;
        terminal.chosenLoad = c.chosen;
        CycleMode cycle = c.start;
        cycle.Check2_Click(true);
        EXPECT_EQ(cycle.Label22, std::to_string(c.start.lngCycleCounter)) << "switching on shows the count so far";
        if (c.typedMax)
            cycle.Text4_Change(c.typedMax);

        EXPECT_EQ(run(cycle, terminal, c.seconds), c.trace);
        EXPECT_EQ(cycle.lngCycleCounter, c.count);
        EXPECT_EQ(cycle.Label22, std::to_string(c.count));
        EXPECT_EQ(terminal.chosenLoad, c.finalLoad);
        // Stopping at the maximum leaves the switch on and the count in view.
        EXPECT_EQ(cycle.intCycleOn, 1);
        EXPECT_TRUE(cycle.label22Visible);
    }
}

TEST(CycleMode, APeriodLoweredBelowTheSecondsCountedPausesUntilRaisedAgain)
{
    Terminal terminal;
    terminal.chosenLoad = Load::TakeOff;
    CycleMode cycle{.lngMaxCounter = 100, .lngCyclePeriod = 5};
    cycle.Check2_Click(true);

    EXPECT_EQ(run(cycle, terminal, 3), "...");
    cycle.Text7_Change("2");
    EXPECT_EQ(run(cycle, terminal, 20), std::string(20, '.'));
    cycle.Text7_Change("30");
    EXPECT_EQ(run(cycle, terminal, 7), "......W") << "the action comes when the seconds reach the new period";
}
