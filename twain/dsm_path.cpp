#include "twain/dsm_path.h"

namespace kavrel::twainlib {

std::optional<std::string> DsmPathInWindowsDirectory(std::string_view windowsDirectory) {
    std::string path(windowsDirectory);
    if (!path.empty() && path.back() != ':') path += '\\';
    path += "TWAIN_32.DLL";
    // A path that does not fit is refused rather than cut: a cut path could name another file.
    if (path.size() + 1 > kDsmPathBuffer) return std::nullopt;
    return path;
}

}  // namespace kavrel::twainlib
