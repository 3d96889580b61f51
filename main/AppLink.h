// What the main form needs of the application object that owns the window. The application
// implements it; the form only holds a pointer, so the dependency keeps pointing from the
// application to the form.
#pragma once

#include "platform/handles.h"

namespace hv {

class TAppLink {
public:
    virtual ~TAppLink() = default;

    // Switches between full screen and a window, device and window placement included.
    virtual void ToggleWindowMode() = 0;
    // The application's windowed flag: true for a window, false for full screen.
    virtual bool IsWindowed() const = 0;
    // Sets the windowed flag alone; the window is not changed until the next switch.
    virtual void SetWindowed(bool windowed) = 0;
    // The game's window; null before it exists.
    virtual HWND WindowHandle() const = 0;
    // Shows or hides the system mouse pointer over the window.
    virtual void ShowSystemCursor(bool show) = 0;
};

}  // namespace hv
