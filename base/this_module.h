// The module (DLL or program) that holds the calling code.
#pragma once

#include <windows.h>

namespace kavrel {

// The handle of the module this function is linked into, found from the function's own address.
// Every module that links this library gets its own copy of the code, so the answer is the DLL
// (Kavrel.dll, the virtual scanner's .ds) or the program that contains the caller. The reference
// count is left as it is.
HMODULE ThisModule() noexcept;

// Keeps the module that holds the calling code mapped until the process ends, whatever unloads it.
void PinThisModule() noexcept;

}  // namespace kavrel
