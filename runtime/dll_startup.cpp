#include "runtime/dll_startup.h"

#include "base/module_calls.h"
#include "base/this_module.h"
#include "runtime/toolkit/application.h"

namespace kavrel::runtime {

namespace {
HINSTANCE moduleInstance = nullptr;
bool attached = false;
bool keptMapped = false;
}  // namespace

BOOL DllStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // The system attaches first; the host may forward the same attach through RslDllMain.
        // Only one of them initialises, the other is told no.
        if (attached) return FALSE;
        attached = true;
        if (instance) moduleInstance = instance;
        return TRUE;
    case DLL_PROCESS_DETACH:
        // Both the host and the system may report the detach: finalise once. At process exit
        // (reserved non-null) the system tears the windows down itself, and other threads are
        // already gone, so nothing is touched then.
        // What of the module is still in use keeps it mapped for the rest of the process:
        // windows that cannot be destroyed at this moment (kvrshow ran on another thread and its
        // hidden viewer is kept; the viewer's modal loop is running below this detach, which a host
        // window dispatched inside the loop forwarded), and the module's code running anywhere
        // (this detach is one call; any other is a loop or a call below it or on another thread:
        // kvrscan's TWAIN loop, a message box). Destroying such windows is impossible or would free
        // a form under its own loop, and unmapping the code behind them, or below this call,
        // crashes the host at their next message or on return. Of the ways out -- tear down on the
        // owning thread, defer until the loop ends, keep the code -- only the last works whatever
        // thread or loop the detach comes from; it costs the module's memory, in a process that is
        // using the module anyway. The host forwards its detach before it frees the module, so the
        // pin comes in time; with the system's own detach the module stays mapped as well, and
        // the DLL's entry (runtime/dll_entry.cpp) then leaves the C run-time set up for them.
        if (attached) {
            attached = false;
            if (!reserved) {
                const bool everythingGone = ui::Application::Finalize();
                if (!everythingGone || ModuleCallsInProgress() > 1) {
                    PinThisModule();
                    keptMapped = true;
                }
            }
        }
        return TRUE;
    default:
        return TRUE;
    }
}

bool KeptMapped() { return keptMapped; }

HINSTANCE ModuleInstance() {
    // Code running before the attach (a test linking the objects into an executable) still needs
    // an instance for its window classes: the module that holds this code.
    if (!moduleInstance) moduleInstance = ThisModule();
    return moduleInstance;
}

}  // namespace kavrel::runtime
