// Child controls of a form: push buttons and an image control.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "runtime/picture/bitmap.h"
#include "base/win_handles.h"
#include "runtime/toolkit/window_object.h"

namespace kavrel::ui {

class Form;

struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const Bounds&) const = default;
};

// A control is a child window of its form. Its bounds are in the form's client coordinates and
// every change is reported to the form, which re-fits itself around its visible controls.
class Control : public WindowObject {
public:
    virtual ~Control();

    HWND Handle() const { return window_.get(); }
    const Bounds& GetBounds() const { return bounds_; }
    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.width; }
    int Height() const { return bounds_.height; }
    void SetBounds(const Bounds& bounds);
    void SetLeft(int left);
    void SetTop(int top);
    void SetWidth(int width);
    void SetHeight(int height);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Whether the control can hold the keyboard focus now.
    bool CanFocus() const { return focusable_ && visible_ && enabled_; }

    // A notification the control's window sent its form (WM_COMMAND): what it means is the
    // control's own business. The form calls it inside its event guard.
    virtual void Notified(WORD /*code*/) {}

protected:
    Control(Form& owner, const char* windowClass, const std::string& text, DWORD style,
            const Bounds& bounds, bool focusable);
    Form& Owner() { return owner_; }
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class Form;
    // Moves the window without telling the form (used by the form's own fitting).
    void PlaceWithoutRefit(const Bounds& bounds);

    Form& owner_;
    Bounds bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    bool focusable_;
    Window window_;
};

// A push button. Clicks arrive as OnClick; keys pressed while it has the focus go to OnKeyDown
// first and then to the button's normal handling (Tab and the arrow keys move the focus, Enter
// and Space press it).
class Button : public Control {
public:
    Button(Form& owner, const std::string& caption, const Bounds& bounds);
    ~Button() override;

    std::string Caption() const;
    // Presses the button as a click does (only when it is enabled and visible).
    void Click();

    std::function<void()> OnClick;
    std::function<void(WORD& key)> OnKeyDown;

    void Notified(WORD code) override;

private:
    // The button's own keys first, then the system button's procedure.
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    WNDPROC originalProc_ = nullptr;
};

// Shows a picture at one screen pixel per picture pixel from its top left corner, without
// stretching and without sizing itself.
class ImageControl : public Control {
public:
    ImageControl(Form& owner, const Bounds& bounds);

    // The picture shown; shared, never changed once made (a new picture replaces it).
    const std::shared_ptr<const picture::DibBitmap>& Picture() const { return picture_; }
    void SetPicture(std::shared_ptr<const picture::DibBitmap> picture);

    std::function<void()> OnDblClick;

    // The image control's window class, registered by the application object.
    static constexpr char kWindowClass[] = "TKavrelImage";

private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint();
    std::shared_ptr<const picture::DibBitmap> picture_;
};

}  // namespace kavrel::ui
