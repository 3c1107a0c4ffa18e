#include <gtest/gtest.h>

#include <functional>
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

Terminal terminalWith(Load load)
{
    Terminal terminal;
    terminal.chosenLoad = load;
    return terminal;
}

} // namespace

TEST(CycleMode, PlacesAndTakesOffWeight1UntilTheCountReachesTheMaximum)
{
    struct Case {
        const char* name;
        Load chosen;
        CycleMode start;
        std::function<void(CycleMode&)> afterSwitchingOn;
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
        {"count carried over continues", Load::TakeOff, {.lngMaxCounter = 3, .lngCycleCounter = 2, .lngCyclePeriod = 1},
            nullptr, 4, "WT--", 3, Load::TakeOff},
        {"stored count at the maximum stops at the first tick", Load::TakeOff,
            {.lngMaxCounter = 3, .lngCycleCounter = 3, .lngCyclePeriod = 2}, nullptr, 4, ".---", 3, Load::TakeOff},
        {"stored count at the maximum, the period runs out in that tick", Load::TakeOff,
            {.lngMaxCounter = 3, .lngCycleCounter = 3, .lngCyclePeriod = 1}, nullptr, 3, "W--", 3, Load::Weight1},
        {"seconds left over from an earlier run bring the first action sooner", Load::TakeOff,
            {.lngMaxCounter = 2, .lngCyclePeriod = 4, .lngCycleTick = 3}, nullptr, 11, "W...T...W..", 1, Load::Weight1},
        {"a 1 typed during the run ends it after one cycle", Load::TakeOff, {.lngMaxCounter = 5, .lngCyclePeriod = 2},
            [](CycleMode& c) { c.Text4_Change("1"); }, 6, ".W.T--", 1, Load::TakeOff},
        {"a maximum lowered below the count is never met", Load::TakeOff,
            {.lngMaxCounter = 10, .lngCycleCounter = 5, .lngCyclePeriod = 1},
            [](CycleMode& c) { c.Text4_Change("3"); }, 8, "WTWTWTWT", 9, Load::TakeOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Terminal terminal = terminalWith(c.chosen);
        CycleMode cycle = c.start;
        cycle.Check2_Click(true);
        EXPECT_TRUE(cycle.timer3Enabled);
        EXPECT_EQ(cycle.Label22, std::to_string(c.start.lngCycleCounter)) << "switching on shows the count so far";
        if (c.afterSwitchingOn)
            c.afterSwitchingOn(cycle);

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
    Terminal terminal = terminalWith(Load::TakeOff);
    CycleMode cycle{.lngMaxCounter = 100, .lngCyclePeriod = 5};
    cycle.Check2_Click(true);

    EXPECT_EQ(run(cycle, terminal, 3), "...");
    cycle.Text7_Change("2");
    EXPECT_EQ(run(cycle, terminal, 20), std::string(20, '.'));
    EXPECT_EQ(cycle.lngCycleTick, 23);
    cycle.Text7_Change("30");
    EXPECT_EQ(run(cycle, terminal, 7), "......W") << "the action comes when the seconds reach the new period";
    EXPECT_EQ(run(cycle, terminal, 30), std::string(29, '.') + "T");
    EXPECT_EQ(cycle.lngCycleCounter, 1);
    EXPECT_TRUE(cycle.timer3Enabled);
}

TEST(CycleMode, SwitchingOffZeroesAndHidesTheCountButKeepsTheSecondsCounted)
{
    Terminal terminal = terminalWith(Load::TakeOff);
    CycleMode cycle{.lngMaxCounter = 100, .lngCyclePeriod = 3};
    cycle.Check2_Click(true);
    EXPECT_EQ(run(cycle, terminal, 8), "..W..T..");
    EXPECT_EQ(cycle.Label22, "1");

    cycle.Check2_Click(false);
    EXPECT_EQ(cycle.intCycleOn, 0);
    EXPECT_FALSE(cycle.timer3Enabled);
    EXPECT_FALSE(cycle.label22Visible);
    EXPECT_EQ(cycle.Label22, "0");
    EXPECT_EQ(cycle.lngCycleCounter, 0);
    EXPECT_EQ(run(cycle, terminal, 5), "-----") << "a late tick after switching off presses nothing";

    cycle.Check2_Click(true);
    EXPECT_TRUE(cycle.label22Visible);
    EXPECT_EQ(cycle.Label22, "0");
    EXPECT_EQ(run(cycle, terminal, 4), "W..T") << "two seconds were already counted";
    EXPECT_EQ(cycle.Label22, "1");
}

TEST(CycleMode, TheSwitchReplacesValuesOutOfRangeAndTypingKeepsTheBoxAsTyped)
{
    struct Case {
        std::int32_t period, max;
        std::int32_t wantPeriod, wantMax;
    };
    const Case cases[] = {
        {1, 2, 1, 2},
        {100000, 100000, 100000, 100000},
        {0, 1, 2, 100}, // a maximum of 1 is taken when typed, not when switching
        {100001, 100001, 2, 100},
        {-7, -7, 2, 100},
        {2147483647, -2147483647 - 1, 2, 100},
    };
    for (const bool on : {true, false}) {
        for (const Case& c : cases) {
            CycleMode cycle{.lngMaxCounter = c.max, .lngCyclePeriod = c.period};
            cycle.Check2_Click(on);
            EXPECT_EQ(cycle.lngCyclePeriod, c.wantPeriod) << c.period << (on ? " on" : " off");
            EXPECT_EQ(cycle.lngMaxCounter, c.wantMax) << c.max << (on ? " on" : " off");
        }
    }

    CycleMode cycle;
    cycle.Text4_Change("1");
    EXPECT_EQ(cycle.lngMaxCounter, 1);
    cycle.Check2_Click(true);
    EXPECT_EQ(cycle.lngMaxCounter, 100);
}

TEST(CycleMode, TypedMaximumAndPeriodAreReadAsWholeNumbersWithFallbacks)
{
    struct Case {
        std::string text;
        std::int32_t wantMax, wantPeriod; // from a maximum of 50 and a period of 7
    };
    const Case cases[] = {
        {"3", 3, 3},
        {"1", 1, 1},
        {"100000", 100000, 100000},
        {"100001", 100, 2},
        {"0", 100, 2},
        {"", 100, 2},
        {"x", 100, 2},
        {"kg 12", 100, 2},
        {"-3", 100, 2},
        {"-0.5", 100, 2}, // rounds down to -1
        {"12,5", 12, 12}, // the comma ends the number
        {"2,5e1", 2, 2},  // ... so it is not 25
        {",5", 100, 2},
        {"12.9", 12, 12},
        {" 4 2 s", 42, 42},
        {"1e3", 1000, 1000},
        {"1e12", 50, 7}, // too large for the field: the value stays
        {"2147483647", 100, 2},
        {"2147483648", 50, 7},
        {"-2147483648", 100, 2},
        {"-2147483649", 50, 7},
        {std::string(5000, '9'), 50, 7},
        {"-" + std::string(5000, '9'), 50, 7},
    };
    for (const Case& c : cases) {
        CycleMode cycle{.lngMaxCounter = 50, .lngCyclePeriod = 7};
        cycle.Text4_Change(c.text);
        cycle.Text7_Change(c.text);
        EXPECT_EQ(cycle.lngMaxCounter, c.wantMax) << c.text.substr(0, 20);
        EXPECT_EQ(cycle.lngCyclePeriod, c.wantPeriod) << c.text.substr(0, 20);
        EXPECT_FALSE(cycle.timer3Enabled) << "typing never starts a run";
    }

    // A value from the settings file that the typing cannot replace still gets the fallback.
    CycleMode fromFile{.lngMaxCounter = 0, .lngCyclePeriod = 200000};
    fromFile.Text4_Change("1e12");
    fromFile.Text7_Change("1e12");
    EXPECT_EQ(fromFile.lngMaxCounter, 100);
    EXPECT_EQ(fromFile.lngCyclePeriod, 2);
}

TEST(CycleMode, ACountAtTheTopOfItsRangeDoesNotWrap)
{
    Terminal terminal = terminalWith(Load::Weight1);
    CycleMode cycle{.lngMaxCounter = 5, .lngCycleCounter = 2147483647, .lngCyclePeriod = 1};
    cycle.Check2_Click(true);
    EXPECT_EQ(run(cycle, terminal, 1), "T");
    EXPECT_EQ(cycle.lngCycleCounter, 2147483647);
    EXPECT_EQ(cycle.Label22, "2147483647");
}
