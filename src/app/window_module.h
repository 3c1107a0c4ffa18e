#pragma once

#include <variant>

#include "shell/shell_messages.h"
#include "window/window_entry.h"

namespace korvanteslin {

// Loads the window's module from beside the program (the build tree) or
// from its folder under the installed library folder. Its entry point, or why
// there is none.
std::variant<MakeWindowFunction, ShellMessage> loadWindowModule();

} // namespace korvanteslin
