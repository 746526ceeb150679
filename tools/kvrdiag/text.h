// Text for the report: what the system and the drivers hand over (ANSI or OEM bytes, or the
// module's own Windows-1251 texts) as UTF-16; the plain words are words.h's.
#pragma once

#include <windows.h>

#include <string>

#include "tools/kvrdiag/words.h"

namespace kavrel::diag {

std::wstring FromCodePage(const std::string& bytes, UINT codePage);
inline std::wstring FromAnsi(const std::string& bytes) { return FromCodePage(bytes, CP_ACP); }
inline std::wstring FromOem(const std::string& bytes) { return FromCodePage(bytes, CP_OEMCP); }
std::string ToCodePage(const std::wstring& text, UINT codePage);

// An existing file's or folder's path in the ANSI code page, which the module's functions and
// its script arguments take: as it is when every character has its own there, else its short
// (8.3) form, whose names are plain ASCII. Empty when neither will do (no short names on that
// volume): a best-fit conversion would name another file ("Café" as "Cafe").
std::string ToAnsiPath(const std::wstring& path);

// "error 5 (Access is denied.)": the number in the report's language, the system's words in its own.
std::wstring SystemError(Language language, DWORD code);

// Seconds since an arbitrary start, for timing the steps.
double Now();

}  // namespace kavrel::diag
