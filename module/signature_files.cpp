#include "module/signature_files.h"

#include <windows.h>

#include "runtime/win_handles.h"

namespace kavrel {

namespace {

bool EndsWithSignatureExtension(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view ending = name.substr(name.size() - 4);
    return ending == ".bmp" || ending == ".jpg";
}

// The system's ANSI upper-case mapping of the current code page (1251 folds Cyrillic too).
std::string ToUpperAnsi(std::string_view text) {
    std::string upper(text);
    if (!upper.empty()) ::CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

}  // namespace

bool IsSignatureFile(std::string_view name, std::string_view clientKey, KeyMode mode) {
    if (name == "." || name == "..") return false;
    if (!EndsWithSignatureExtension(name)) return false;
    if (name.size() < clientKey.size()) return false;
    const std::string_view prefix = name.substr(0, clientKey.size());
    if (mode == KeyMode::ExactBytes) return prefix == clientKey;
    return ToUpperAnsi(prefix) == ToUpperAnsi(clientKey);
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ListingPattern(const std::string& directory) {
    std::string pattern = directory;
    if (!pattern.empty()) {
        const char last = pattern.back();
        if (last != ':' && last != '\\' && last != '/') pattern += '\\';
    }
    pattern += "*.*";
    return pattern;
}

std::optional<std::vector<std::string>> ListSignatureFiles(const std::string& directory,
                                                           std::string_view clientKey,
                                                           KeyMode mode) {
    WIN32_FIND_DATAA entry{};
    FindHandle listing(::FindFirstFileA(ListingPattern(directory).c_str(), &entry));
    if (!listing) {
        // An empty directory still lists "." and ".."; a failure with "no files" can only come
        // from a drive root with nothing in it, which is a successful, empty listing.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
        return std::nullopt;
    }
    std::vector<std::string> names;
    do {
        // cFileName is the long name; the short 8.3 alternative plays no part.
        if (IsSignatureFile(entry.cFileName, clientKey, mode)) names.emplace_back(entry.cFileName);
    } while (::FindNextFileA(listing.get(), &entry));
    return names;
}

}  // namespace kavrel
