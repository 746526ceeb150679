// The C++ object behind a window of the toolkit. Forms and controls are found from their windows
// the same way -- one window property, set when the window is made and removed when it goes --
// and all their messages arrive through one window procedure, behind the no-throw guard.
#pragma once

#include <windows.h>

namespace kavrel::ui {

class WindowObject {
public:
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;

    // The object attached to `window`, or null.
    static WindowObject* Of(HWND window);

    // The window procedure of the toolkit's window classes, and of the system controls it
    // subclasses. A window created with a WindowObject* as its creation parameter is attached on
    // WM_NCCREATE; messages of an attached window go to its object's HandleMessage, others to
    // the default procedure. Nothing is thrown out of it.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    WindowObject() = default;
    ~WindowObject() = default;

    // Ties `window` to this object (for windows not created with it as the creation parameter),
    // and unties it again (also done when the window is destroyed).
    void Attach(HWND window);
    static void Detach(HWND window);

    // One message of the attached window.
    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

}  // namespace kavrel::ui
