// The operating system's entry point of Kavrel.dll; built into the DLL only (the linker is told to
// start the DLL here, not at the MinGW run-time's own entry, which this one hands on to).
#include "base/no_throw.h"
#include "runtime/dll_startup.h"

extern "C" {

// The MinGW run-time's DLL entry: sets the C/C++ run-time up on attach (static constructors,
// exception frames) and tears it down on detach (static destructors), calling DllMain between.
BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return kavrel::NoThrow(FALSE, [&] { return kavrel::runtime::DllStartup(instance, reason, reserved); });
}

BOOL WINAPI KavrelDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    // Whether the run-time was left set up by a detach that kept the module mapped.
    static bool runTimeKept = false;
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        // The module's own detach work first. When it finds the module still in use (see
        // DllStartup) and keeps it mapped, the run-time is not torn down either: the windows and
        // loops that go on need its statics, and C++ exceptions need its registered frames.
        DllMain(instance, reason, reserved);
        if (kavrel::runtime::KeptMapped()) {
            runTimeKept = true;
            return TRUE;
        }
        // Torn down as usual (the run-time calls DllMain again: a detach done already is a no-op).
    } else if (reason == DLL_PROCESS_ATTACH && runTimeKept) {
        // Attached again while still mapped: the run-time is set up already.
        runTimeKept = false;
        return DllMain(instance, reason, reserved);
    }
    return DllMainCRTStartup(instance, reason, reserved);
}

}  // extern "C"
