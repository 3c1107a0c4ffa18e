#pragma once

namespace korvanteslin {

// The window names the classic dialog and title faces. Where those are not
// installed, the metric-compatible Liberation faces stand in, then the
// system's own sans and serif.
void installFontSubstitutes();

} // namespace korvanteslin
