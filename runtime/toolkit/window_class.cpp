#include "runtime/toolkit/window_class.h"

#include <string>

#include "runtime/dll_startup.h"
#include "base/error.h"

namespace kavrel::ui {

void RegisterModuleWindowClass(const char* name, WNDPROC procedure) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = runtime::ModuleInstance();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (::RegisterClassExA(&wc)) return;
    // A class of this name already under the module's instance is not ours to use: it may be
    // left by an earlier load of the module that was never shut down (its procedure pointing
    // into code that is gone), or belong to another component that took the module's instance.
    // It is replaced, unless it still has windows.
    if (::GetLastError() == ERROR_CLASS_ALREADY_EXISTS && ::UnregisterClassA(name, wc.hInstance) &&
        ::RegisterClassExA(&wc)) {
        return;
    }
    throw Error(std::string("Не удалось зарегистрировать класс окна ") + name);
}

void UnregisterModuleWindowClass(const char* name) { ::UnregisterClassA(name, runtime::ModuleInstance()); }

}  // namespace kavrel::ui
