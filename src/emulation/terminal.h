#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "emulation/display_format.h"
#include "emulation/frame_builder.h"
#include "emulation/last_answer.h"
#include "emulation/weight_simulator.h"

namespace korvanteslin {

// The emulated weighing terminal as one value: the loads as typed and as
// shown, the chosen load, the four service signals, the display format, the
// model and the simulator. The window shows exactly these values and turns
// the operator's actions into the calls below.
class Terminal {
public:
    explicit Terminal(char decimalSeparator = '.');

    // Weight entry and display format.
    void Text9_Change(std::size_t index, std::string_view text);
    void Text2_Change(std::size_t index);
    void Combo2_Click(std::size_t index);

    // The load buttons: choose the load and start a new swing.
    void Command1_Click() { chooseLoad(Load::Weight1); }
    void Command2_Click() { chooseLoad(Load::Weight2); }
    void Command3_Click() { chooseLoad(Load::TakeOff); }

    // Applies the oscillation amplitude and count as typed; ends a running swing.
    void Command5_Click(std::string_view amplitudeText, std::string_view countText);

    // One simulator step, then the frame of the selected model.
    const std::string& BuildFrame();
    // The weight the last frame carries, as a receiving side reads it: the
    // simulator's weight at the display format's decimals.
    double frameWeight() const;
    // The same as the frame writes it, sign included: "-0.0" while a swing
    // round zero is below it, though the number is 0.
    std::string frameWeightText() const;

    char decimalSeparator() const { return separator; }
    const DisplayFormat& displayFormat() const { return kDisplayFormats[formatIndex]; }
    std::size_t displayFormatIndex() const { return formatIndex; }

    // What the window shows.
    std::array<std::string, 3> Text9{"11.1", "-11.1", "Text9"}; // entries; the third is never shown
    std::array<std::string, 3> Text2{"11.1", "-11.1", "0.0"};   // the loads as the format shows them
    Load chosenLoad = Load::None;
    SignalStates Check1{};
    bool signalLampsVisible = true;

    // Settings the operator changes here and the settings file keeps.
    std::int16_t intTerminalModel = kZmr1;
    std::int16_t intOscCount = 3;
    double dblAmplitude = 0.1;

    WeightSimulator simulator;
    std::string strFrame;

private:
    void chooseLoad(Load load);
    double loadWeight(std::size_t index);

    char separator;
    std::size_t formatIndex = kStartupFormat;

    // Each tick's numbers, worked out again only when what they come from changed.
    std::array<LastAnswer<std::string, double>, 2> loads_;
    LastAnswer<std::tuple<double, int, int, SignalStates>, std::optional<std::string>> frame_;
    mutable LastAnswer<std::tuple<double, int>, double> frameWeight_;
};

} // namespace korvanteslin
