#pragma once

#include <array>
#include <optional>
#include <string>

namespace korvanteslin {

// The emulated terminal models, by their index.
enum TerminalModel : int { kZmr1 = 0, kZmr3 = 1, kZmr5 = 2 };

// A check box's value: 0 unchecked, 1 checked, 2 grayed. Only 1 is "on".
using SignalStates = std::array<int, 4>; // zero weight, weight stable, tare, over limit

// 0x40 plus a bit for each signal that is on.
char statusByte(const SignalStates& states);

// The bytes one frame carries for this weight, model, number of decimals and
// states; nothing for a model index that does not exist. The only place that
// knows the three wire layouts.
std::optional<std::string> assembleFrame(double weight, int model, int decimals, const SignalStates& states);

// " 02 20 30 …": a blank and two upper-case hex digits per byte.
std::string hexEcho(const std::string& frame);

} // namespace korvanteslin
