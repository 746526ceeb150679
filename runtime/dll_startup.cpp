#include "runtime/dll_startup.h"

#include "base/this_module.h"
#include "runtime/toolkit/application.h"

namespace kavrel::runtime {

namespace {
HINSTANCE moduleInstance = nullptr;
bool attached = false;

// Keeps this module mapped for the rest of the process. Used when a detach finds windows of the
// module that cannot be destroyed at that moment: a window of another thread (kvrshow ran there,
// and its hidden viewer is kept), or the viewer whose modal loop is running below the detach (a
// host window dispatched inside the loop forwarded it). Destroying them is impossible or would
// free a form under its own loop; unloading the code behind their window procedures would crash
// the host at their next message. Of the ways out -- tear down on the owning thread, defer until
// the loop ends, or keep the code -- only the last works whatever thread or loop the detach comes
// from, and costs nothing but the module's memory staying in a process that is using it anyway.
// The host forwards its detach before it frees the module, so the pin comes in time; coming with
// the system's own detach it still keeps Wine from unmapping the module.
void PinThisModule() {
    HMODULE self = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCSTR>(&PinThisModule), &self);
}
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
            if (!reserved && !ui::Application::Finalize()) PinThisModule();
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
