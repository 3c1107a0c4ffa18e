#pragma once

// The window is a module of its own, loaded only when a window is wanted:
// a headless run never maps the widget and GUI libraries, and starts and
// runs lighter for it. This is what the program and the module agree on.

namespace korvanteslin {

class Station;

// The application object, a station and the window over it. The program
// adds its extras to the station, then runs start-up and the event loop
// through it, as it does for a headless run.
class WindowSide {
public:
    virtual ~WindowSide() = default;
    virtual Station& station() = 0;
    // Start-up with the window's messages; false when another copy runs on the data folder.
    virtual bool startUp() = 0;
    // Asked to end while start-up was still showing a message.
    virtual bool hasEnded() const = 0;
    // Shows the window, centred, and runs the event loop to the end.
    virtual int exec() = 0;
};

// The module's one entry point, found by its name: a new window side for
// the caller to own. `argc` outlives the application object, as Qt asks.
using MakeWindowFunction = WindowSide* (*)(int& argc, char** argv);
inline constexpr char kMakeWindowSymbol[] = "korvanteslin_make_window";
inline constexpr char kWindowModuleName[] = "korvanteslin-window.so";

} // namespace korvanteslin
