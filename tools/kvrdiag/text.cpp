#include "tools/kvrdiag/text.h"

#include <memory>

namespace kavrel::diag {

namespace {
struct LocalMemoryFree {
    void operator()(wchar_t* text) const { ::LocalFree(text); }
};
}  // namespace

std::wstring FromCodePage(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return {};
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

std::string ToCodePage(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

namespace {

// The text in the ANSI code page, or none when a character has no byte of its own there.
bool ToAnsiExactly(const std::wstring& text, std::string* bytes) {
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return false;
    bytes->assign(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), bytes->data(), n,
                          nullptr, &lossy);
    return !lossy;
}

}  // namespace

std::string ToAnsiPath(const std::wstring& path) {
    std::string bytes;
    if (path.empty() || ToAnsiExactly(path, &bytes)) return bytes;
    std::wstring shortPath(path.size() + 1, L'\0');
    const DWORD length = ::GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (length == 0 || length >= shortPath.size()) return {};
    shortPath.resize(length);
    return ToAnsiExactly(shortPath, &bytes) ? bytes : std::string();
}

std::wstring SystemError(Language language, DWORD code) {
    wchar_t* message = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalMemoryFree> owned(message);
    std::wstring text = Say(language, TextId::SystemErrorNumber, {std::to_wstring(code)});
    if (length && message) {
        std::wstring said(message, length);
        while (!said.empty() && (said.back() == L'\r' || said.back() == L'\n' || said.back() == L' ')) said.pop_back();
        if (!said.empty()) text += L" (" + said + L")";
    }
    return text;
}

double Now() {
    LARGE_INTEGER frequency{}, now{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace kavrel::diag
