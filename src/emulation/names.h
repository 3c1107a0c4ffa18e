#pragma once

#include <array>
#include <cstddef>

namespace korvanteslin {

// The names the program's faces (the control API, the frame log) give to
// what the terminal counts by index: one table each, in the terminal's order.
// The display formats are named by their patterns (kDisplayFormats).

// By TerminalModel.
inline constexpr std::array<const char*, 3> kModelNames{"ZMR-1", "ZMR-3", "ZMR-5"};

// The loads the operator can put on: Load::Weight1, Load::Weight2, Load::TakeOff.
inline constexpr std::array<const char*, 3> kLoadNames{"weight1", "weight2", "takeoff"};

// The four service signals, as SignalStates holds them.
enum SignalIndex : std::size_t { kSignalZero = 0, kSignalStable = 1, kSignalTare = 2, kSignalOverload = 3 };
inline constexpr std::array<const char*, 4> kSignalNames{"zero", "stable", "tare", "overload"};

// The interface languages, by intLanguage.
inline constexpr std::array<const char*, 2> kLanguageNames{"eng", "rus"};

} // namespace korvanteslin
