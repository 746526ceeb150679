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
    BOOL defaulted = FALSE;
    const int length = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, name.data(), wideLength, nullptr, 0,
                                             nullptr, &defaulted);
    if (length <= 0 || defaulted) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, name.data(), wideLength, narrow.data(), length, nullptr,
                              &defaulted) != length ||
        defaulted) {
        return std::nullopt;
    }
    // Read back, it must be the same name: a code page whose table maps two characters onto one
    // byte would not say so through `defaulted`.
    if (WideFileName(narrow) != name) return std::nullopt;
    return narrow;
}

}  // namespace kavrel
