#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "emulation/terminal.h"

using namespace korvanteslin;

namespace {

// A terminal as start-up leaves it: "###0.0", loads 11.1 and -11.1, 3 swings of 0.1.
Terminal startedTerminal()
{
    Terminal terminal;
    terminal.Command3_Click();
    terminal.Combo2_Click(kStartupFormat);
    return terminal;
}

struct Step {
    double weight;
    bool zero;
    bool stable;
};

std::vector<Step> run(Terminal& terminal, int steps)
{
    std::vector<Step> out;
    for (int i = 0; i < steps; ++i) {
        terminal.BuildFrame();
        out.push_back({terminal.simulator.dblWeightNow, terminal.Check1[0] == 1, terminal.Check1[1] == 1});
    }
    return out;
}

void settle(Terminal& terminal)
{
    run(terminal, 10);
}

// +1 when the swing's first offset went up, -1 when down.
int firstDirection(Terminal& terminal, double load)
{
    const double first = run(terminal, 1)[0].weight;
    return first >= load ? 1 : -1;
}

} // namespace

TEST(WeightSimulator, ASwingAlternatesWithinTheAmplitudeThenSettlesExactly)
{
    Terminal terminal = startedTerminal();
    settle(terminal);
    terminal.Command1_Click();
    const auto steps = run(terminal, 5);

    // Started upward: the first swing after start-up was an odd one (take-off, 3 offsets).
    const double load = 11.1;
    const int up = steps[0].weight >= load ? 1 : -1;
    for (int i = 0; i < 3; ++i) {
        const double offset = (steps[i].weight - load) * (i % 2 == 0 ? up : -up);
        EXPECT_GE(offset, 0.0) << i;
        EXPECT_LT(offset, 0.1) << i;
        EXPECT_FALSE(steps[i].zero);
    }
    for (int i = 3; i < 5; ++i) {
        EXPECT_EQ(steps[i].weight, load);
        EXPECT_TRUE(steps[i].stable);
        EXPECT_FALSE(steps[i].zero);
    }
    EXPECT_EQ(terminal.strFrame, std::string("\x02 0011.1Bkg\r"));
}

TEST(WeightSimulator, TakeOffSwingsAroundZeroThenReportsZeroAndStable)
{
    Terminal terminal = startedTerminal();
    const auto steps = run(terminal, 4);
    EXPECT_GT(steps[0].weight, 0.0) << "the first swing after start-up goes up";
    EXPECT_LT(steps[1].weight, 0.0);
    EXPECT_GT(steps[2].weight, 0.0);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(steps[i].zero || steps[i].stable) << i;
    EXPECT_EQ(steps[3].weight, 0.0);
    EXPECT_TRUE(steps[3].zero && steps[3].stable);
    EXPECT_EQ(terminal.strFrame, std::string("\x02 0000.0Ckg\r"));
}

TEST(WeightSimulator, CountAndAmplitudeEdges)
{
    struct Case {
        const char* amplitude;
        const char* count;
        std::vector<bool> stable; // per step after "Weight 2"
    };
    const Case cases[] = {
        {"0", "3", {true, true, true, true}},        // no amplitude: stable throughout the count
        {"0.1", "0", {true, true}},                  // no swing: the next step is already settled
        {"0.1", "-5", {true, true}},                 // a negative count is no swing either
        {"0.1", "1", {false, true}},
        {"-0.1", "2", {false, false, true}},         // a negative amplitude only flips the direction
        {"0,1", "2,9", {false, false, true}},        // "," reads as the point; counts round down
        {"1e400", "99999", {false, false, false}},   // clamped, never infinite
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.amplitude) + " x " + c.count);
        Terminal terminal = startedTerminal();
        terminal.Command5_Click(c.amplitude, c.count);
        terminal.Command2_Click();
        const auto steps = run(terminal, int(c.stable.size()));
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].stable, c.stable[i]) << "step " << i;
            EXPECT_TRUE(std::isfinite(steps[i].weight));
            if (c.stable[i]) {
                EXPECT_EQ(steps[i].weight, -11.1);
            }
        }
        EXPECT_GE(terminal.simulator.intOscLeft, 0);
    }
    Terminal huge = startedTerminal();
    huge.Command5_Click("0.1", "1e12");
    EXPECT_EQ(huge.intOscCount, 32767) << "a count beyond 16 bits is held at the largest";
}

TEST(WeightSimulator, ChangeMidSwingAndNewLoadsTakeEffectAtTheNextFrame)
{
    Terminal terminal = startedTerminal();
    terminal.Command1_Click();
    run(terminal, 1);
    terminal.Command5_Click("0.1", "3");
    EXPECT_TRUE(run(terminal, 1)[0].stable);
    EXPECT_EQ(terminal.simulator.dblWeightNow, 11.1);

    terminal.Text9_Change(0, "12.345"); // shown and used as 12.3
    const Step next = run(terminal, 1)[0];
    EXPECT_EQ(next.weight, 12.3);
    EXPECT_TRUE(next.stable) << "a new value of the chosen load does not swing";
    EXPECT_EQ(terminal.strFrame, std::string("\x02 0012.3Bkg\r"));
}

TEST(WeightSimulator, ThePhaseCarriesFromOneSwingToTheNext)
{
    struct Case {
        const char* count;
        bool sameDirection;
    };
    for (const Case c : {Case{"3", false}, Case{"2", true}, Case{"1", false}, Case{"4", true}}) {
        SCOPED_TRACE(c.count);
        Terminal terminal = startedTerminal();
        settle(terminal);
        terminal.Command5_Click("0.1", c.count);
        terminal.Command2_Click();
        const int first = firstDirection(terminal, -11.1);
        settle(terminal);
        terminal.Command2_Click();
        const int second = firstDirection(terminal, -11.1);
        EXPECT_EQ(first == second, c.sameDirection);
    }
}

TEST(WeightSimulator, RunsAreRepeatable)
{
    Terminal a = startedTerminal();
    Terminal b = startedTerminal();
    for (int i = 0; i < 50; ++i) {
        if (i % 7 == 0) {
            a.Command1_Click();
            b.Command1_Click();
        }
        EXPECT_EQ(a.BuildFrame(), b.BuildFrame());
    }
}
