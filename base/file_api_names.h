// File names between the process's "A" file calls and the wide names the file system keeps.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrel {

// The code page the process's "A" file calls read and give names in: the ANSI one, or the OEM one
// for a program that has switched them (SetFileApisToOEM).
unsigned FileApiCodePage() noexcept;

// `path` as the "A" file calls read it, in FileApiCodePage.
std::wstring WideFileName(std::string_view path);

// `name` in FileApiCodePage, when that code page holds every one of its characters: the "A" calls
// then reach this very entry by it. None otherwise. (The "A" listing would hand out a look-alike:
// Windows and Wine put a character the code page lacks by its best fit, so that "1２3.jpg" would
// come back as another file's "123.jpg", and a full-width "＼" as a real path separator.)
std::optional<std::string> ExactNarrowFileName(std::wstring_view name);

}  // namespace kavrel
