#include "host/signature_files.h"

#include <windows.h>

#include <functional>

#include "base/file_api_names.h"
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
        // Listed by the wide calls: the "A" listing hands out a name whose characters the code
        // page lacks by their best likeness, which may be another client's file (a full-width
        // digit read as the plain one) or a path out of the directory (a full-width backslash read
        // as a real one, "123＼..＼456.bmp" as "123\..\456.bmp"), and the viewer would show and
        // delete what that names. Such an entry is passed over: no "A" call reaches it by a name
        // of this code page.
        WIN32_FIND_DATAW entry{};
        FindHandle listing(::FindFirstFileW(WideFileName(pattern).c_str(), &entry));
        // An empty directory still lists "." and ".."; a failure with "no files" can only come
        // from a drive root with nothing in it, which is a successful, empty listing.
        if (!listing) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
        // cFileName is the long name; the short 8.3 alternative (which the pattern may have
        // matched) plays no part.
        do {
            const auto name = ExactNarrowFileName(entry.cFileName);
            if (name && !visit(*name)) break;
        } while (::FindNextFileW(listing.get(), &entry));
        return true;
    };
    return WalkSignatureFiles(directory, clientKey, mode, &SystemUpperCase, findFiles, limit);
}

}  // namespace kavrel
