#include "base/wine.h"

#include <windows.h>

namespace kavrel {

const char* WineVersion() noexcept {
    using WineGetVersionProc = const char*(__cdecl*)();
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const auto wineGetVersion = ntdll ? reinterpret_cast<WineGetVersionProc>(
                                            reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")))
                                      : nullptr;
    return wineGetVersion ? wineGetVersion() : nullptr;
}

}  // namespace kavrel
