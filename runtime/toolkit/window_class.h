// Window classes of this module's own windows.
#pragma once

#include <windows.h>

namespace kavrel::ui {

// Registers a class under this module's instance with the toolkit's common settings (double
// clicks, arrow cursor, button-face background). Throws kavrel::Error when it cannot be
// registered.
void RegisterModuleWindowClass(const char* name, WNDPROC procedure);

// Unregisters it again; a class that still has windows stays.
void UnregisterModuleWindowClass(const char* name);

}  // namespace kavrel::ui
