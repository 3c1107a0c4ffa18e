#include <gtest/gtest.h>

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
    bool zero, stable;
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

} // namespace

TEST(WeightSimulator, ASwingAlternatesWithinTheAmplitudeThenSettlesExactly)
{
    struct Case {
        void (Terminal::*press)();
        double load;
        const char* settled;
    };
    for (const Case& c : {Case{&Terminal::Command1_Click, 11.1, "\x02 0011.1Bkg\r"},
             Case{&Terminal::Command3_Click, 0.0, "\x02 0000.0Ckg\r"}}) {
        SCOPED_TRACE(c.load);
        Terminal terminal = startedTerminal();
        run(terminal, 10);
        (terminal.*c.press)();
        const auto steps = run(terminal, 5);
        const int up = steps[0].weight >= c.load ? 1 : -1;
        for (int i = 0; i < 3; ++i) {
            const double offset = (steps[i].weight - c.load) * (i % 2 == 0 ? up : -up);
            EXPECT_TRUE(offset >= 0.0 && offset < 0.1) << i << ": " << steps[i].weight;
            EXPECT_FALSE(steps[i].zero || steps[i].stable) << i;
        }
        for (int i = 3; i < 5; ++i) {
            EXPECT_EQ(steps[i].weight, c.load);
            EXPECT_TRUE(steps[i].stable);
            EXPECT_EQ(steps[i].zero, c.load == 0.0) << "zero only when settled at 0";
        }
        EXPECT_EQ(terminal.strFrame, c.settled);
    }
}

TEST(WeightSimulator, CountAndAmplitudeEdges)
{
    struct Case {
        const char* amplitude;
        const char* count;
        std::vector<bool> stable; // per step after "Weight 2"
    };
    const Case cases[] = {
        {"0", "3", {true, true, true, true}}, // no amplitude: stable throughout the count
        {"0.1", "0", {true, true}},           // no swing: the next step is already settled
        {"0.1", "-5", {true, true}},          // a negative count is no swing either
        {"0,1", "2,9", {false, false, true}}, // "," reads as the point; counts round down
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.amplitude) + " x " + c.count);
        Terminal terminal = startedTerminal();
        terminal.Command5_Click(c.amplitude, c.count);
        terminal.Command2_Click();
        const auto steps = run(terminal, int(c.stable.size()));
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].stable, c.stable[i]) << "step " << i;
            EXPECT_TRUE(!c.stable[i] || steps[i].weight == -11.1) << steps[i].weight;
        }
    }
}

TEST(WeightSimulator, ThePhaseCarriesFromOneSwingToTheNext)
{
    for (const auto& [count, sameDirection] : {std::pair{"3", false}, {"2", true}, {"1", false}, {"4", true}}) {
        SCOPED_TRACE(count);
        Terminal terminal = startedTerminal();
        run(terminal, 10);
        terminal.Command5_Click("0.1", count);
        int directions[2];
        for (int& direction : directions) {
            terminal.Command2_Click();
            direction = run(terminal, 1)[0].weight >= -11.1 ? 1 : -1;
            run(terminal, 10);
        }
        EXPECT_EQ(directions[0] == directions[1], sameDirection);
    }
}

// A swing round zero that is just below it: the number is 0, the frame and
// its text keep the sign, as a receiving program reads it.
TEST(WeightSimulator, TheWeightAFrameCarriesKeepsItsSignAtZero)
{
    Terminal terminal = startedTerminal();
    terminal.Command5_Click("0.04", "3");
    terminal.Command3_Click();
    bool below = false;
    for (int i = 0; i < 3; ++i) {
        if (run(terminal, 1)[0].weight >= 0)
            continue;
        below = true;
        EXPECT_EQ(terminal.frameWeightText(), "-0.0");
        EXPECT_EQ(terminal.frameWeight(), 0.0);
        EXPECT_NE(terminal.strFrame.find("-0000.0"), std::string::npos);
    }
    EXPECT_TRUE(below) << "a swing of three alternates: one step is below zero";
    run(terminal, 3);
    EXPECT_EQ(terminal.frameWeightText(), "0.0") << "settled";
}
