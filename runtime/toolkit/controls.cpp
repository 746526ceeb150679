#include "runtime/toolkit/controls.h"

#include "runtime/dll_startup.h"
#include "base/error.h"
#include "runtime/toolkit/form.h"
#include "runtime/toolkit/window_class.h"

namespace kavrel::ui {

Control::Control(Form& owner, const char* windowClass, const std::string& text, DWORD style,
                 const Bounds& bounds, bool focusable)
    : owner_(owner), bounds_(bounds), focusable_(focusable) {
    // The toolkit's own classes attach the object as the window is made (a system class ignores
    // the creation parameter; its subclass attaches the object itself).
    window_.reset(::CreateWindowExA(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                    bounds.left, bounds.top, bounds.width, bounds.height,
                                    owner.Handle(), nullptr, runtime::ModuleInstance(),
                                    static_cast<WindowObject*>(this)));
    if (!window_) throw Error("Не удалось создать элемент окна");
    ::SendMessageA(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(owner.FontHandle()), FALSE);
    owner.Register(*this);
}

Control::~Control() {
    owner_.Unregister(*this);
    if (window_) Detach(window_.get());
}

LRESULT Control::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void Control::PlaceWithoutRefit(const Bounds& bounds) {
    bounds_ = bounds;
    ::MoveWindow(window_.get(), bounds.left, bounds.top, bounds.width, bounds.height, TRUE);
}

void Control::SetBounds(const Bounds& bounds) {
    if (bounds == bounds_) return;
    PlaceWithoutRefit(bounds);
    owner_.ControlChanged();
}

void Control::SetLeft(int left) { SetBounds({left, bounds_.top, bounds_.width, bounds_.height}); }
void Control::SetTop(int top) { SetBounds({bounds_.left, top, bounds_.width, bounds_.height}); }
void Control::SetWidth(int width) { SetBounds({bounds_.left, bounds_.top, width, bounds_.height}); }
void Control::SetHeight(int height) { SetBounds({bounds_.left, bounds_.top, bounds_.width, height}); }

void Control::SetVisible(bool visible) {
    if (visible == visible_) return;
    const bool hadFocus = ::GetFocus() == Handle();
    visible_ = visible;
    ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE);
    if (hadFocus && !visible) owner_.FocusNextAfter(this);
    owner_.ControlChanged();
}

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    const bool hadFocus = ::GetFocus() == Handle();
    enabled_ = enabled;
    ::EnableWindow(Handle(), enabled ? TRUE : FALSE);
    // A control that loses its enablement gives the focus on, so that keys still reach the
    // window (otherwise the focus would be nowhere after "Next" disables itself).
    if (hadFocus && !enabled) owner_.FocusNextAfter(this);
}

// ---------------------------------------------------------------------------------------------
// Button

Button::Button(Form& owner, const std::string& caption, const Bounds& bounds)
    : Control(owner, "BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP, bounds, true) {
    Attach(Handle());
    originalProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowObject::WindowProc)));
}

Button::~Button() {
    if (Handle()) ::SetWindowLongPtrA(Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
}

std::string Button::Caption() const {
    char text[256] = {};
    ::GetWindowTextA(Handle(), text, sizeof text);
    return text;
}

void Button::Click() {
    if (!Enabled() || !Visible()) return;
    if (OnClick) OnClick();
}

void Button::Notified(WORD code) {
    if (code == BN_CLICKED) Click();
}

LRESULT Button::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE:
        // A dialog manager (a host that shows the form through IsDialogMessage) must hand every
        // key to the button, so that the viewer's keys reach its handler.
        return DLGC_BUTTON | DLGC_WANTALLKEYS;
    case WM_KEYDOWN: {
        // Keys that reach the button while its form takes no input (typed ahead of a close, or
        // while a handler waits in a question) do nothing: not even Enter's click.
        if (!Owner().TakesInput()) return 0;
        WORD key = static_cast<WORD>(wParam);
        if (OnKeyDown) {
            Form::Guarded([&] { OnKeyDown(key); });
            // The handler may have closed the form, or the form may be gone altogether (and this
            // object with it): nothing of it is touched then.
            if (!::IsWindow(window) || WindowObject::Of(window) != this) return 0;
        }
        switch (key) {
        case VK_TAB:
            Owner().FocusNextAfter(this, (::GetKeyState(VK_SHIFT) & 0x8000) != 0);
            return 0;
        case VK_RIGHT:
        case VK_DOWN:
            Owner().FocusNextAfter(this, false);
            return 0;
        case VK_LEFT:
        case VK_UP:
            Owner().FocusNextAfter(this, true);
            return 0;
        case VK_RETURN:
            Form::Guarded([&] { Click(); });
            return 0;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
    return ::CallWindowProcA(originalProc_, window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// ImageControl

ImageControl::ImageControl(Form& owner, const Bounds& bounds)
    : Control(owner, kWindowClass, "", 0, bounds, false) {}

void ImageControl::SetPicture(std::shared_ptr<const picture::DibBitmap> picture) {
    picture_ = std::move(picture);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void ImageControl::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle(), &ps);
    if (picture_) picture_->Draw(dc, 0, 0);
    ::EndPaint(Handle(), &ps);
}

LRESULT ImageControl::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages sent while the window is being made come before the control knows its handle.
    if (Handle() == window) {
        switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            if (picture_ && picture_->Width() >= Width() && picture_->Height() >= Height()) {
                return 1;  // the picture covers everything: no flicker
            }
            break;
        case WM_LBUTTONDBLCLK:
            if (OnDblClick && Owner().TakesInput()) Form::Guarded([&] { OnDblClick(); });
            return 0;
        default:
            break;
        }
    }
    return Control::HandleMessage(window, message, wParam, lParam);
}

}  // namespace kavrel::ui
