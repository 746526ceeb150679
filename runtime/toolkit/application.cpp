#include "runtime/toolkit/application.h"

#include <string>

#include "runtime/toolkit/controls.h"
#include "runtime/toolkit/form.h"
#include "runtime/toolkit/window_class.h"
#include "runtime/toolkit/window_object.h"

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

// A form can be destroyed now unless its modal loop is running (it must outlive its loop) or its
// window belongs to another thread (DestroyWindow refuses that, and the window would stay, with
// its procedure in this module, while nothing here knew of it any more).
bool CanDestroyNow(const Form& form) {
    if (form.IsModal()) return false;
    return !::IsWindow(form.Handle()) ||
           ::GetWindowThreadProcessId(form.Handle(), nullptr) == ::GetCurrentThreadId();
}
}  // namespace

void Application::Initialize() {
    if (initialized) return;
    RegisterModuleWindowClass(ImageControl::kWindowClass, &WindowObject::WindowProc);
    initialized = true;
}

bool Application::IsInitialized() { return initialized; }

void Application::RegisterFormClass(const char* name) {
    for (const auto& c : FormClasses()) {
        if (c == name) return;
    }
    RegisterModuleWindowClass(name, &WindowObject::WindowProc);
    FormClasses().emplace_back(name);
}

CriticalSection& Application::FormsLock() {
    static CriticalSection lock;
    return lock;
}

Form& Application::Adopt(std::unique_ptr<Form> form) {
    const CriticalSectionLock locked(FormsLock());
    Forms().push_back(std::move(form));
    return *Forms().back();
}

void Application::Release(Form* form) {
    const CriticalSectionLock locked(FormsLock());
    auto& forms = Forms();
    for (auto it = forms.begin(); it != forms.end(); ++it) {
        if (it->get() == form) {
            if (CanDestroyNow(*form)) {
                forms.erase(it);
            } else if (!form->IsModal()) {
                // A form of another thread, idle: destroyed on its own thread the next time that
                // thread takes its messages (a host calling kvrshow from several threads would
                // otherwise pile up their hidden viewers). Until then it is kept.
                form->ReleaseOnItsThread();
            }
            return;
        }
    }
}

bool Application::Finalize() {
    // Windows of this module's classes must be gone before the code behind their window
    // procedures is unloaded: each form destroys its window. DestroyWindow refuses a window of
    // another thread, and a form inside its own modal loop must outlive the loop.
    const CriticalSectionLock locked(FormsLock());
    auto& forms = Forms();
    std::vector<std::unique_ptr<Form>> kept;
    for (auto& form : forms) {
        if (!CanDestroyNow(*form)) kept.push_back(std::move(form));
    }
    forms.clear();
    forms = std::move(kept);
    if (!forms.empty()) return false;  // their classes stay registered with them
    for (const auto& c : FormClasses()) UnregisterModuleWindowClass(c.c_str());
    FormClasses().clear();
    if (initialized) UnregisterModuleWindowClass(ImageControl::kWindowClass);
    initialized = false;
    return true;
}

}  // namespace kavrel::ui
