// A top-level form: caption, design font and colour, a sizing frame without title-bar icons,
// child controls it keeps fitted around (auto-size), and modal showing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/toolkit/controls.h"
#include "base/win_handles.h"
#include "runtime/toolkit/window_object.h"

namespace kavrel::ui {

enum class CloseAction { None, Hide };

class Form : public WindowObject {
public:
    // Creates the (hidden) window of class `windowClass` with the design outer bounds' size; it
    // is placed by the system's default placement when first shown.
    Form(const char* windowClass, const std::string& caption, const Bounds& designBounds);
    virtual ~Form();

    HWND Handle() const { return window_.get(); }
    HFONT FontHandle() const { return font_.get(); }

    std::string Caption() const;
    void SetCaption(const std::string& caption);

    // Shows the form modally: the thread's other windows are disabled, OnShow runs, and the call
    // returns when the form is closed (closing hides it). A close asked for in OnShow ends the
    // modal loop before the operator can do anything.
    void ShowModal();
    bool IsModal() const { return modal_; }
    bool IsShowing() const { return ::IsWindowVisible(Handle()) != FALSE; }

    // Asks the form to close: OnClose decides (hide by default); a modal loop then ends.
    void Close();

    // Asks the thread that owns the form's window to release the form (Application::Release)
    // when it next takes its messages: only that thread can destroy the window.
    void ReleaseOnItsThread();

    // Whether the form is shown and not closing: an event handler that waited in a modal call
    // (a question, a message box, a print job) looks at this before it goes on, since the form
    // may have been closed meanwhile.
    bool StillShown() const { return modal_ && !closeRequested_ && ::IsWindow(Handle()); }

    // Whether the operator's input reaches the form's handlers now: only while it is shown, not
    // closing, and no handler of it is waiting in a modal call. Input typed ahead of a close
    // (Enter or a click queued behind Esc) that reaches the hidden form afterwards, and input
    // dispatched by a question's or a print job's own message loop, is dropped.
    bool TakesInput() const { return StillShown() && busy_ == 0; }

    // Marks a handler's modal call (a question, a message box, a print job) for its duration:
    // the form takes no other command meanwhile.
    class BusyScope {
    public:
        explicit BusyScope(Form& form) : form_(form) { ++form_.busy_; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;
        ~BusyScope() { --form_.busy_; }

    private:
        Form& form_;
    };

    std::function<void()> OnShow;
    std::function<void(CloseAction& action)> OnClose;
    std::function<void()> OnDblClick;
    std::function<void(WORD& key)> OnKeyDown;

    // Runs an event handler; an error it raises is shown in the standard error box (its own
    // message, one OK button) and goes no further. Nothing ever leaves a window procedure.
    static void Guarded(const std::function<void()>& handler);

    // Moves the focus to the next control after `from` (in tab order) that can take it, or to
    // the form itself when none can.
    void FocusNextAfter(Control* from, bool backwards = false);

protected:
    // Fits the form to its visible controls: they move together so that their bounding box
    // starts at the client area's top left corner, and the client area becomes that box.
    void FitToControls();

private:
    friend class Control;
    void Register(Control& control) { controls_.push_back(&control); }
    void Unregister(Control& control);
    void ControlChanged();
    void FocusFirst();
    void EndModal();
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    Font font_;
    Window window_;
    std::vector<Control*> controls_;  // in tab order (creation order)
    bool modal_ = false;
    bool closeRequested_ = false;
    int busy_ = 0;
    bool fitting_ = false;
    bool placed_ = false;
    SIZE fittedClient_{0, 0};
    SIZE fittedOuter_{0, 0};
    HWND lastFocus_ = nullptr;
};

}  // namespace kavrel::ui
