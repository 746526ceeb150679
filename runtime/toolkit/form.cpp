#include "runtime/toolkit/form.h"

#include <algorithm>

#include "base/error.h"
#include "base/no_throw.h"
#include "runtime/dll_startup.h"
#include "runtime/toolkit/application.h"
#include "runtime/toolkit/message_box.h"

namespace kavrel::ui {

namespace {

constexpr DWORD kFormStyle = WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN;  // no system menu: no icons
constexpr DWORD kFormExStyle = 0;
// Posted to a form's window: release the form, on the thread that owns the window.
constexpr UINT kReleaseOnItsThread = WM_APP + 0x4B1;

// The thread's other top-level windows, disabled for the time of a modal showing.
class DisabledThreadWindows {
public:
    explicit DisabledThreadWindows(HWND except) : except_(except) {
        ::EnumThreadWindows(::GetCurrentThreadId(), &DisabledThreadWindows::Visit,
                            reinterpret_cast<LPARAM>(this));
    }
    DisabledThreadWindows(const DisabledThreadWindows&) = delete;
    DisabledThreadWindows& operator=(const DisabledThreadWindows&) = delete;
    ~DisabledThreadWindows() {
        for (HWND w : disabled_) {
            if (::IsWindow(w)) ::EnableWindow(w, TRUE);
        }
    }

private:
    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        // Recorded before it is disabled: a window that could not be recorded (no memory) is
        // left enabled rather than disabled for good, and the enumeration stops.
        return NoThrow(FALSE, [&] {
            auto* me = reinterpret_cast<DisabledThreadWindows*>(self);
            if (window != me->except_ && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
                me->disabled_.push_back(window);
                ::EnableWindow(window, FALSE);
            }
            return TRUE;
        });
    }
    HWND except_;
    std::vector<HWND> disabled_;
};

}  // namespace

void Form::Guarded(const std::function<void()>& handler) {
    try {
        if (handler) handler();
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Внутренняя ошибка программы");
    }
}

Form::Form(const char* windowClass, const std::string& caption, const Bounds& designBounds) {
    Application::Initialize();
    Application::RegisterFormClass(windowClass);
    font_.reset(::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif"));
    // The design position is not used: the system's default placement puts the form.
    window_.reset(::CreateWindowExA(kFormExStyle, windowClass, caption.c_str(), kFormStyle,
                                    CW_USEDEFAULT, CW_USEDEFAULT, designBounds.width,
                                    designBounds.height, nullptr, nullptr,
                                    runtime::ModuleInstance(), static_cast<WindowObject*>(this)));
    if (!window_) throw Error("Не удалось создать окно \"" + caption + "\"");
}

Form::~Form() {
    if (window_) Detach(window_.get());
}

std::string Form::Caption() const {
    const int length = ::GetWindowTextLengthA(Handle());
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    ::GetWindowTextA(Handle(), text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(0, length)));
    return text;
}

void Form::SetCaption(const std::string& caption) { ::SetWindowTextA(Handle(), caption.c_str()); }

void Form::Unregister(Control& control) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), &control), controls_.end());
    if (lastFocus_ == control.Handle()) lastFocus_ = nullptr;
}

void Form::ControlChanged() { FitToControls(); }

void Form::FitToControls() {
    if (fitting_) return;
    fitting_ = true;
    bool any = false;
    int left = 0, top = 0, right = 0, bottom = 0;
    for (const Control* c : controls_) {
        if (!c->Visible()) continue;
        const Bounds& b = c->GetBounds();
        if (!any) {
            left = b.left, top = b.top, right = b.Right(), bottom = b.Bottom();
            any = true;
        } else {
            left = std::min(left, b.left), top = std::min(top, b.top);
            right = std::max(right, b.Right()), bottom = std::max(bottom, b.Bottom());
        }
    }
    if (any && (left != 0 || top != 0)) {
        for (Control* c : controls_) {
            if (!c->Visible()) continue;
            Bounds b = c->GetBounds();
            b.left -= left;
            b.top -= top;
            c->PlaceWithoutRefit(b);
        }
    }
    fittedClient_ = {any ? right - left : 0, any ? bottom - top : 0};

    RECT outer{0, 0, fittedClient_.cx, fittedClient_.cy};
    ::AdjustWindowRectEx(&outer, kFormStyle, FALSE, kFormExStyle);
    fittedOuter_ = {outer.right - outer.left, outer.bottom - outer.top};
    ::SetWindowPos(Handle(), nullptr, 0, 0, fittedOuter_.cx, fittedOuter_.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Should the frame the system really draws differ from the computed one, correct by the
    // difference once, so that the client area is exactly the controls' box.
    RECT client{};
    ::GetClientRect(Handle(), &client);
    const int dx = fittedClient_.cx - (client.right - client.left);
    const int dy = fittedClient_.cy - (client.bottom - client.top);
    if (dx != 0 || dy != 0) {
        fittedOuter_.cx += dx;
        fittedOuter_.cy += dy;
        ::SetWindowPos(Handle(), nullptr, 0, 0, fittedOuter_.cx, fittedOuter_.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    fitting_ = false;
}

void Form::FocusFirst() {
    for (Control* c : controls_) {
        if (c->CanFocus()) {
            ::SetFocus(c->Handle());
            return;
        }
    }
    ::SetFocus(Handle());
}

void Form::FocusNextAfter(Control* from, bool backwards) {
    const auto count = static_cast<std::ptrdiff_t>(controls_.size());
    const auto at = std::find(controls_.begin(), controls_.end(), from) - controls_.begin();
    for (std::ptrdiff_t step = 1; step <= count; ++step) {
        const std::ptrdiff_t i = ((backwards ? at - step : at + step) % count + count) % count;
        Control* c = controls_[static_cast<std::size_t>(i)];
        if (c->CanFocus()) {
            ::SetFocus(c->Handle());
            return;
        }
    }
    // No control can take the focus: the form takes the keys itself.
    ::SetFocus(Handle());
}

void Form::Close() {
    if (closeRequested_) return;
    CloseAction action = CloseAction::Hide;
    if (OnClose) Guarded([&] { OnClose(action); });
    if (action == CloseAction::None) return;
    if (modal_) {
        closeRequested_ = true;  // the modal loop ends and hides the form
    } else {
        ::ShowWindow(Handle(), SW_HIDE);
    }
}

void Form::ReleaseOnItsThread() { ::PostMessageA(Handle(), kReleaseOnItsThread, 0, 0); }

void Form::ShowModal() {
    if (modal_) return;
    modal_ = true;
    closeRequested_ = false;
    const HWND previousActive = ::GetActiveWindow();
    {
        DisabledThreadWindows disabled(Handle());
        Guarded(OnShow);
        if (!closeRequested_) {
            ::ShowWindow(Handle(), SW_SHOW);
            ::SetForegroundWindow(Handle());
            FocusFirst();
            MSG message;
            while (!closeRequested_ && ::IsWindow(Handle())) {
                const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
                if (got == 0) {
                    // The thread is told to quit: close, and post the quit again. The viewer's loop
                    // runs inside the host's own message loop, which must see WM_QUIT to end the
                    // host as it was asked to. (The TWAIN library's loop consumes it instead: there
                    // the quit ends the acquisition, see TWAIN_ModalEventLoop.)
                    Close();
                    closeRequested_ = true;
                    ::PostQuitMessage(static_cast<int>(message.wParam));
                    break;
                }
                if (got == -1) break;
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
        // Re-enable the others before hiding, so that the system activates one of them.
    }
    if (::IsWindow(Handle())) ::ShowWindow(Handle(), SW_HIDE);
    if (previousActive && ::IsWindow(previousActive)) ::SetActiveWindow(previousActive);
    modal_ = false;
    closeRequested_ = false;
}

LRESULT Form::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages sent while the window is being made come before the form knows its handle.
    if (window != Handle()) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        if (lParam) {
            // A notification from one of the form's controls: the control says what it means.
            for (Control* c : controls_) {
                if (c->Handle() == reinterpret_cast<HWND>(lParam)) {
                    if (TakesInput()) Guarded([&] { c->Notified(HIWORD(wParam)); });
                    return 0;
                }
            }
        }
        break;
    case WM_KEYDOWN:
        if (OnKeyDown && TakesInput()) {
            WORD key = static_cast<WORD>(wParam);
            Guarded([&] { OnKeyDown(key); });
        }
        return 0;
    case WM_LBUTTONDBLCLK:
        if (OnDblClick && TakesInput()) Guarded(OnDblClick);
        return 0;
    case WM_CLOSE:
        Close();
        return 0;
    case kReleaseOnItsThread:
        // This object may be gone when Release returns: nothing of it is touched afterwards.
        if (!IsModal()) Application::Release(this);
        return 0;
    case WM_WINDOWPOSCHANGING: {
        // Auto-size: whatever size is asked for (the operator dragging the frame, maximising),
        // the form keeps the size that fits its controls.
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (fittedOuter_.cx > 0 && !(pos->flags & SWP_NOSIZE)) {
            pos->cx = fittedOuter_.cx;
            pos->cy = fittedOuter_.cy;
        }
        break;
    }
    case WM_GETMINMAXINFO: {
        // No limits of the form's own: a large picture gives a large window, a tiny one a tiny one.
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {1, 1};
        info->ptMaxTrackSize = {65535, 65535};
        info->ptMaxSize = {65535, 65535};
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            if (focus && ::IsChild(window, focus)) lastFocus_ = focus;
        } else {
            for (Control* c : controls_) {
                if (c->Handle() == lastFocus_ && c->CanFocus()) {
                    ::SetFocus(lastFocus_);
                    return 0;
                }
            }
            FocusFirst();
            return 0;
        }
        break;
    default:
        break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace kavrel::ui
