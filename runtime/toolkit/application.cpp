#include "runtime/toolkit/application.h"

#include <string>

#include "runtime/dll_startup.h"
#include "runtime/error.h"
#include "runtime/toolkit/controls.h"
#include "runtime/toolkit/form.h"

namespace kavrel::ui {

namespace {
bool initialized = false;
std::vector<std::unique_ptr<Form>>& Forms() {
    static std::vector<std::unique_ptr<Form>> forms;
    return forms;
}
std::vector<std::string>& FormClasses() {
    static std::vector<std::string> classes;
    return classes;
}
}  // namespace

void Application::Initialize() {
    if (initialized) return;
    ImageControl::RegisterWindowClass();
    initialized = true;
}

bool Application::IsInitialized() { return initialized; }

void Application::RegisterFormClass(const char* name, WNDPROC procedure) {
    for (const auto& c : FormClasses()) {
        if (c == name) return;
    }
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = runtime::ModuleInstance();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (!::RegisterClassExA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw Error(std::string("Не удалось зарегистрировать класс окна ") + name);
    }
    FormClasses().emplace_back(name);
}

Form& Application::Adopt(std::unique_ptr<Form> form) {
    Forms().push_back(std::move(form));
    return *Forms().back();
}

void Application::Release(Form* form) {
    auto& forms = Forms();
    for (auto it = forms.begin(); it != forms.end(); ++it) {
        if (it->get() == form) {
            forms.erase(it);
            return;
        }
    }
}

void Application::Finalize() {
    // Windows of this module's classes must be gone before the code behind their window
    // procedures is unloaded.
    Forms().clear();
    for (const auto& c : FormClasses()) ::UnregisterClassA(c.c_str(), runtime::ModuleInstance());
    FormClasses().clear();
    ImageControl::UnregisterWindowClass();
    initialized = false;
}

}  // namespace kavrel::ui
