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

// The interface language of what the program words itself (messages, the
// port's failures, the API's names for it): Russian when intLanguage is 1,
// English for every other value. The captions keep intLanguage, with rules
// of their own for other values.
enum class Language { English, Russian };

constexpr Language languageOf(int intLanguage)
{
    return intLanguage == 1 ? Language::Russian : Language::English;
}

// By Language.
inline constexpr std::array<const char*, 2> kLanguageNames{"eng", "rus"};

} // namespace korvanteslin
