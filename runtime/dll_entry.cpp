// The operating system's entry point of Kavrel.dll; built into the DLL only.
#include "base/no_throw.h"
#include "runtime/dll_startup.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return kavrel::NoThrow(FALSE, [&] { return kavrel::runtime::DllStartup(instance, reason, reserved); });
}
