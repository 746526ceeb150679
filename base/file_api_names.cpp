#include "base/file_api_names.h"

#include <windows.h>

namespace kavrel {

unsigned FileApiCodePage() noexcept { return ::AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::wstring WideFileName(std::string_view path) {
    if (path.empty()) return {};
    const UINT codePage = FileApiCodePage();
    const int length = ::MultiByteToWideChar(codePage, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) ::MultiByteToWideChar(codePage, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
    return wide;
}

std::optional<std::string> ExactNarrowFileName(std::wstring_view name) {
    if (name.empty()) return std::string();
    const UINT codePage = FileApiCodePage();
    const int wideLength = static_cast<int>(name.size());
    // Converted plainly, and read back: it must come back the same name. That finds a character put
    // by its best fit or by the default character, and a table that maps two characters onto one
    // byte, in every code page. (Asking WideCharToMultiByte itself, with WC_NO_BEST_FIT_CHARS or a
    // used-default flag, fails outright for UTF-8 and the other code pages that take no flags: a
    // workstation whose ANSI code page is UTF-8 would then find no file at all.)
    const int length = ::WideCharToMultiByte(codePage, 0, name.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (::WideCharToMultiByte(codePage, 0, name.data(), wideLength, narrow.data(), length, nullptr, nullptr) != length) {
        return std::nullopt;
    }
    if (WideFileName(narrow) != name) return std::nullopt;
    return narrow;
}

}  // namespace kavrel
