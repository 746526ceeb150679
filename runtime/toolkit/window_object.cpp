#include "runtime/toolkit/window_object.h"

#include "base/no_throw.h"

namespace kavrel::ui {

namespace {
constexpr char kObjectProperty[] = "Kavrel.WindowObject";
}  // namespace

WindowObject* WindowObject::Of(HWND window) {
    return window ? static_cast<WindowObject*>(::GetPropA(window, kObjectProperty)) : nullptr;
}

void WindowObject::Attach(HWND window) { ::SetPropA(window, kObjectProperty, this); }

void WindowObject::Detach(HWND window) { ::RemovePropA(window, kObjectProperty); }

LRESULT CALLBACK WindowObject::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return NoThrow(LRESULT{0}, [&]() -> LRESULT {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            if (auto* object = static_cast<WindowObject*>(create->lpCreateParams)) object->Attach(window);
        }
        WindowObject* object = Of(window);
        if (message == WM_NCDESTROY) Detach(window);
        if (object) return object->HandleMessage(window, message, wParam, lParam);
        return ::DefWindowProcA(window, message, wParam, lParam);
    });
}

}  // namespace kavrel::ui
