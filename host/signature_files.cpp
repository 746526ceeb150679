#include "host/signature_files.h"

#include <windows.h>

#include <algorithm>

#include "base/win_handles.h"

namespace kavrel {

namespace {

void SystemUpperCase(char* text, std::size_t length) {
    ::CharUpperBuffA(text, static_cast<DWORD>(length));
}

}  // namespace

bool IsSignatureFile(std::string_view name, std::string_view clientKey, KeyMode mode) {
    return IsSignatureName(name, clientKey, mode, &SystemUpperCase);
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::vector<std::string>> ListSignatureFiles(const std::string& directory,
                                                           std::string_view clientKey, KeyMode mode,
                                                           std::size_t limit) {
    WIN32_FIND_DATAA entry{};
    // The pattern with its directory must fit a path, and a name is at most 255 characters.
    const std::size_t room = directory.size() + 2 < MAX_PATH ? MAX_PATH - directory.size() - 2 : 1;
    const std::string pattern = ListingPattern(directory, SignatureSearchPattern(clientKey, std::min<std::size_t>(room, 255)));
    FindHandle listing(::FindFirstFileA(pattern.c_str(), &entry));
    if (!listing) {
        // An empty directory still lists "." and ".."; a failure with "no files" can only come
        // from a drive root with nothing in it, which is a successful, empty listing.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
        return std::nullopt;
    }
    std::vector<std::string> names;
    if (limit == 0) return names;
    do {
        // cFileName is the long name; the short 8.3 alternative (which the pattern may have
        // matched) plays no part.
        if (IsSignatureFile(entry.cFileName, clientKey, mode)) {
            names.emplace_back(entry.cFileName);
            if (names.size() >= limit) break;
        }
    } while (::FindNextFileA(listing.get(), &entry));
    return names;
}

}  // namespace kavrel
