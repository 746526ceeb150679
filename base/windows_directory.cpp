#include "base/windows_directory.h"

#include <windows.h>

namespace kavrel {

std::string WindowsDirectory() {
    std::string directory(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT length = ::GetWindowsDirectoryA(directory.data(), static_cast<UINT>(directory.size()));
        // A buffer too small is answered with the size it needs, its terminator counted.
        if (length < directory.size()) {
            directory.resize(length);
            return directory;
        }
        directory.assign(length, '\0');
    }
    return {};
}

}  // namespace kavrel
