#include "emulation/terminal.h"

#include "emulation/number_reading.h"

namespace korvanteslin {

namespace {

// The weight as a frame writes it: the format's decimals, a point, the sign.
std::string writtenWeight(double weight, int decimals)
{
    return formatFixed(weight, decimals, '.');
}

} // namespace

Terminal::Terminal(char decimalSeparator)
    : separator(decimalSeparator)
{
}

void Terminal::Text9_Change(std::size_t index, std::string_view text)
{
    Text9.at(index) = text;
    Text2.at(index) = text;
    Text2_Change(index);
}

void Terminal::Text2_Change(std::size_t index)
{
    Text2.at(index) = normaliseDisplay(Text2.at(index), displayFormat(), separator);
}

void Terminal::Combo2_Click(std::size_t index)
{
    formatIndex = index < kDisplayFormats.size() ? index : kStartupFormat;
    // Each entry is given again, so every display box is rewritten in the new format.
    for (std::size_t i = 0; i < Text9.size(); ++i) {
        const std::string entry = Text9[i];
        Text9_Change(i, "");
        Text9_Change(i, entry);
    }
}

void Terminal::chooseLoad(Load load)
{
    chosenLoad = load;
    simulator.intOscLeft = intOscCount;
}

void Terminal::Command5_Click(std::string_view amplitudeText, std::string_view countText)
{
    simulator.intOscLeft = 0;
    intOscCount = floorToInt16(readNumber(countText));
    dblAmplitude = readNumber(amplitudeText);
}

const std::string& Terminal::BuildFrame()
{
    const auto decided = simulator.SimulateWeight(chosenLoad, loadWeight(0), loadWeight(1), dblAmplitude);
    Check1[0] = decided.zeroWeight ? 1 : 0;
    Check1[1] = decided.weightStable ? 1 : 0;

    const auto& frame = frame_.of({simulator.dblWeightNow, intTerminalModel, displayFormat().decimals, Check1},
        [](const auto& asked) { return std::apply(assembleFrame, asked); });
    if (frame) {
        strFrame = *frame;
        signalLampsVisible = intTerminalModel != kZmr3; // that model's frame carries no signals
    }
    return strFrame;
}

// A load as the simulator takes it: the number its display box shows.
double Terminal::loadWeight(std::size_t index)
{
    return loads_.at(index).of(Text2.at(index), [](const std::string& shown) { return readNumber(shown); });
}

double Terminal::frameWeight() const
{
    return frameWeight_.of({simulator.dblWeightNow, displayFormat().decimals},
        [](const auto& asked) { return readNumber(std::apply(writtenWeight, asked)); });
}

std::string Terminal::frameWeightText() const
{
    return writtenWeight(simulator.dblWeightNow, displayFormat().decimals);
}

} // namespace korvanteslin
