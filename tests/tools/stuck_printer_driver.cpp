// A printer driver that never finishes loading: its DllMain waits for ever, holding the loader
// lock, as a broken driver at a teller's desk may.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        for (;;) ::Sleep(INFINITE);
    }
    return TRUE;
}
