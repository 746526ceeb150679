// The Windows directory, where the TWAIN manager is looked for and which kvrdiag reports.
#pragma once

#include <string>

namespace kavrel {

// GetWindowsDirectoryA's answer in the ANSI code page, whatever its length; empty when it has none.
std::string WindowsDirectory();

}  // namespace kavrel
