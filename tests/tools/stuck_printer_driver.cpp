// A printer driver that never finishes loading: its DllMain waits for ever, holding the loader
// lock, as a broken driver at a teller's desk may. Built a second time with
// KAVREL_STUCK_AT_PROCESS_EXIT, it works (its exports hand every call on to Wine's own driver),
// and its DllMain waits for ever when the process that loaded it ends (a driver whose clean-up
// waits for a thread that process exit has already ended).
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
#ifdef KAVREL_STUCK_AT_PROCESS_EXIT
    // `reserved` is non-null when the process is ending, null when FreeLibrary unloads the driver.
    const bool stuck = reason == DLL_PROCESS_DETACH && reserved != nullptr;
#else
    (void)reserved;
    const bool stuck = reason == DLL_PROCESS_ATTACH;
#endif
    if (stuck) {
        for (;;) ::Sleep(INFINITE);
    }
    return TRUE;
}
