// Where the library looks for the Data Source Manager: only in the Windows directory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kavrel::twainlib {

// The buffer the Windows directory and the file name share.
constexpr std::size_t kDsmPathBuffer = 128;

// windowsDirectory + "\" + "TWAIN_32.DLL", the separator left out when the directory text is
// empty or ends in ":" (a text that ends in "\" gets a second one). No answer when the result
// and its terminator would not fit the 128-character buffer: the manager is then not found.
std::optional<std::string> DsmPathInWindowsDirectory(std::string_view windowsDirectory);

}  // namespace kavrel::twainlib
