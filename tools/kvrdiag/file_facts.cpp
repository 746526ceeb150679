#include "tools/kvrdiag/file_facts.h"

#include <vector>

namespace kavrel::diag {

namespace {

std::optional<std::wstring> FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> block(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::nullopt;
    void* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\", &fixed, &length) || !fixed || length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
}

}  // namespace

FileFacts ReadFileFacts(const std::string& path) {
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        facts.error = ::GetLastError();
        return facts;
    }
    facts.exists = true;
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (!facts.directory) facts.version = FileVersion(path);
    return facts;
}

std::wstring VersionText(const FileFacts& facts) { return facts.version ? *facts.version : L"none"; }

std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 2] = {};
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : path;
}

}  // namespace kavrel::diag
