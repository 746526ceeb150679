// Where the report goes: the console, in its code page (or as Unicode when it is a console
// window), and a file of the user's choice as UTF-8 with a byte-order mark.
#pragma once

#include <windows.h>

#include <string>

namespace kavrel::diag {

// Writes to standard output: through WriteConsoleW when it is a console, else as bytes in the
// console's output code page (the OEM code page when there is no console). False when there is
// no standard output or a write to it failed (a full disk, a closed pipe).
bool WriteToStandardOutput(const std::wstring& text);

// Writes `text` to `path` as UTF-8 with a byte-order mark, replacing the file; 0 or the error.
DWORD WriteUtf8File(const std::string& path, const std::wstring& text);

}  // namespace kavrel::diag
