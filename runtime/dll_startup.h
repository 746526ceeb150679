// The module's DLL start-up and shut-down routine. The operating system's DLL entry and the
// host's RslDllMain both forward here.
#pragma once

#include <windows.h>

namespace kavrel::runtime {

// Initialises the run-time support on the first process attach and finalises it on detach.
// A second process attach (the host forwarding the attach the system already made) is refused
// with 0 and changes nothing; every other call reports success. A detach that finds the module
// still in use -- windows that cannot be destroyed now, or its code running on some thread --
// keeps the module mapped until the process ends.
BOOL DllStartup(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Whether a detach found the module still in use and kept it mapped for the rest of the process
// (see DllStartup): its run-time must then not be torn down either.
bool KeptMapped();

// The module's own instance handle (for window classes and resources); null before attach.
HINSTANCE ModuleInstance();

}  // namespace kavrel::runtime
