#include "host/signature_files.h"

#include <windows.h>

#include <functional>

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
    const DirectoryListing findFiles = [](const std::string& pattern,
                                          const std::function<bool(const std::string&)>& visit) {
        WIN32_FIND_DATAA entry{};
        FindHandle listing(::FindFirstFileA(pattern.c_str(), &entry));
        // An empty directory still lists "." and ".."; a failure with "no files" can only come
        // from a drive root with nothing in it, which is a successful, empty listing.
        if (!listing) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
        // cFileName is the long name; the short 8.3 alternative (which the pattern may have
        // matched) plays no part.
        while (visit(entry.cFileName) && ::FindNextFileA(listing.get(), &entry)) {
        }
        return true;
    };
    return WalkSignatureFiles(directory, clientKey, mode, &SystemUpperCase, findFiles, limit);
}

}  // namespace kavrel
