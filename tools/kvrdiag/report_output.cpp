#include "tools/kvrdiag/report_output.h"

#include <algorithm>

#include "base/win_handles.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

bool WriteToStandardOutput(const std::wstring& text) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        // A console window shows every character whatever its code page.
        constexpr std::size_t kChunk = 4096;
        for (std::size_t at = 0; at < text.size(); at += kChunk) {
            DWORD written = 0;
            const auto n = static_cast<DWORD>(std::min(kChunk, text.size() - at));
            if (!::WriteConsoleW(out, text.data() + at, n, &written, nullptr)) return false;
        }
        return true;
    }
    UINT codePage = ::GetConsoleOutputCP();
    if (codePage == 0) codePage = ::GetOEMCP();
    return WriteAll(out, ToCodePage(text, codePage));
}

DWORD WriteUtf8File(const std::string& path, const std::wstring& text) {
    KernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError();
    const std::string bytes = "\xEF\xBB\xBF" + ToCodePage(text, CP_UTF8);
    if (!WriteAll(file.get(), bytes)) return ::GetLastError();
    if (!::FlushFileBuffers(file.get())) return ::GetLastError();
    return 0;
}

}  // namespace kavrel::diag
