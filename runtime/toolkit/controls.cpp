#include "runtime/toolkit/controls.h"

#include "runtime/dll_startup.h"
#include "base/error.h"
#include "runtime/toolkit/form.h"
#include "runtime/toolkit/window_class.h"

namespace kavrel::ui {

Control::Control(Form& owner, const char* windowClass, const std::string& text, DWORD style,
                 const Bounds& bounds, bool focusable)
    : owner_(owner), bounds_(bounds), focusable_(focusable) {
    window_.reset(::CreateWindowExA(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                    bounds.left, bounds.top, bounds.width, bounds.height,
                                    owner.Handle(), nullptr, runtime::ModuleInstance(), this));
    if (!window_) throw Error("Не удалось создать элемент окна");
    ::SendMessageA(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(owner.FontHandle()), FALSE);
    owner.Register(*this);
}

Control::~Control() { owner_.Unregister(*this); }

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

namespace {
constexpr char kButtonProp[] = "Kavrel.Button";
}

Button::Button(Form& owner, const std::string& caption, const Bounds& bounds)
    : Control(owner, "BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP, bounds, true) {
    ::SetPropA(Handle(), kButtonProp, this);
    originalProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Button::SubclassProc)));
}

Button::~Button() {
    if (Handle()) {
        ::SetWindowLongPtrA(Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
        ::RemovePropA(Handle(), kButtonProp);
    }
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

LRESULT CALLBACK Button::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<Button*>(::GetPropA(window, kButtonProp));
    if (!self) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_GETDLGCODE:
        // A dialog manager (a host that shows the form through IsDialogMessage) must hand every
        // key to the button, so that the viewer's keys reach its handler.
        return DLGC_BUTTON | DLGC_WANTALLKEYS;
    case WM_KEYDOWN: {
        WORD key = static_cast<WORD>(wParam);
        if (self->OnKeyDown) {
            Form::Guarded([&] { self->OnKeyDown(key); });
            // The handler may have closed the form, or the form may be gone altogether.
            if (!::IsWindow(window)) return 0;
        }
        switch (key) {
        case VK_TAB:
            self->Owner().FocusNextAfter(self, (::GetKeyState(VK_SHIFT) & 0x8000) != 0);
            return 0;
        case VK_RIGHT:
        case VK_DOWN:
            self->Owner().FocusNextAfter(self, false);
            return 0;
        case VK_LEFT:
        case VK_UP:
            self->Owner().FocusNextAfter(self, true);
            return 0;
        case VK_RETURN:
            Form::Guarded([&] { self->Click(); });
            return 0;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
    return ::CallWindowProcA(self->originalProc_, window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// ImageControl

namespace {
constexpr char kImageClass[] = "TKavrelImage";
bool imageClassRegistered = false;
}  // namespace

void ImageControl::RegisterWindowClass() {
    if (imageClassRegistered) return;
    RegisterModuleWindowClass(kImageClass, &ImageControl::WndProc);
    imageClassRegistered = true;
}

void ImageControl::UnregisterWindowClass() {
    if (!imageClassRegistered) return;
    UnregisterModuleWindowClass(kImageClass);
    imageClassRegistered = false;
}

ImageControl::ImageControl(Form& owner, const Bounds& bounds)
    : Control(owner, (RegisterWindowClass(), kImageClass), "", 0, bounds, false) {}

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

LRESULT CALLBACK ImageControl::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ImageControl*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && self->Handle() == window) {
        switch (message) {
        case WM_PAINT:
            self->Paint();
            return 0;
        case WM_ERASEBKGND:
            if (self->picture_ && self->picture_->Width() >= self->Width() &&
                self->picture_->Height() >= self->Height()) {
                return 1;  // the picture covers everything: no flicker
            }
            break;
        case WM_LBUTTONDBLCLK:
            if (self->OnDblClick) Form::Guarded([&] { self->OnDblClick(); });
            return 0;
        default:
            break;
        }
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace kavrel::ui
