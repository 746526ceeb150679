#include "runtime/dll_startup.h"

#include "base/this_module.h"
#include "runtime/toolkit/application.h"

namespace kavrel::runtime {

namespace {
HINSTANCE moduleInstance = nullptr;
bool attached = false;
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
        if (attached) {
            attached = false;
            if (!reserved) ui::Application::Finalize();
        }
        return TRUE;
    default:
        return TRUE;
    }
}

HINSTANCE ModuleInstance() {
    // Code running before the attach (a test linking the objects into an executable) still needs
    // an instance for its window classes: the module that holds this code.
    if (!moduleInstance) moduleInstance = ThisModule();
    return moduleInstance;
}

}  // namespace kavrel::runtime
