// The windowing toolkit's application object: owns every form for the rest of the process.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "base/critical_section.h"

namespace kavrel::ui {

class Form;

class Application {
public:
    // Makes the toolkit ready (window classes registered). Harmless to call again.
    static void Initialize();
    static bool IsInitialized();

    // Registers a form window class once (unregistered again by Finalize); its windows' messages
    // go through the toolkit's one window procedure to their forms.
    static void RegisterFormClass(const char* name);

    // The lock over the owned forms, taken by every call below that touches them: a form of
    // another thread is destroyed on that thread while this one may adopt or release forms.
    // Recursive: destroying a form may come back here. Owners that keep their own records of
    // forms (the viewer's list of viewers) use the same lock, so that the two are never taken in
    // opposite orders.
    static CriticalSection& FormsLock();

    // Takes ownership of a form; it lives until Finalize.
    static Form& Adopt(std::unique_ptr<Form> form);
    // Destroys one owned form before the end of the process -- unless it cannot be destroyed now
    // (its modal loop is running, or its window belongs to another thread): it is then kept, and
    // Finalize deals with it.
    static void Release(Form* form);

    // Destroys every owned form that can be destroyed now and, when none is left, unregisters
    // the window classes. Called when the module detaches; Initialize may be called again
    // afterwards. A form whose modal loop is running (the detach came from a window procedure
    // dispatched inside it) is not freed under its own loop, and a form whose window belongs to
    // another thread cannot be destroyed from this one: both are kept, and the answer is false.
    // Their window procedures then still lie in this module, which must stay mapped.
    static bool Finalize();
};

}  // namespace kavrel::ui
