#pragma once

namespace korvanteslin {

// Whether the window could be shown: the platform named in QT_QPA_PLATFORM,
// or a Wayland or X display this process can reach. Without one Qt would end
// the program on its own (abort) before anything could be said.
bool displayAvailable();

} // namespace korvanteslin
