#include "tools/kvrdiag/file_facts.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

// The version resource's numbers, flags and product version text.
void ReadVersion(const std::string& path, FileFacts* facts) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return;
    std::vector<unsigned char> block(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return;
    void* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\", &fixed, &length) || !fixed || length < sizeof(VS_FIXEDFILEINFO)) return;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    facts->version = std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
                     L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
                     std::to_wstring(LOWORD(info->dwFileVersionLS));
    facts->privateBuild = (info->dwFileFlags & info->dwFileFlagsMask & VS_FF_PRIVATEBUILD) != 0;
    // The product version in the resource's first language and code page.
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* value = nullptr;
    if (!::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) || !value ||
        length < sizeof(Translation)) {
        return;
    }
    const auto* translation = static_cast<const Translation*>(value);
    char key[64];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\ProductVersion", translation->language, translation->codePage);
    if (::VerQueryValueA(block.data(), key, &value, &length) && value && length > 0) {
        const char* text = static_cast<const char*>(value);
        facts->productVersion = FromAnsi(std::string(text, strnlen(text, length)));
    }
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
    if (!facts.directory) ReadVersion(path, &facts);
    return facts;
}

std::wstring VersionText(Language language, const FileFacts& facts) {
    if (!facts.version) return Say(language, TextId::NoVersion);
    return facts.productVersion.empty() ? *facts.version
                                        : Say(language, TextId::WithProductVersion, {*facts.version, facts.productVersion});
}

bool IsDeveloperBuild(const FileFacts& facts) {
    return facts.privateBuild || facts.productVersion.find(L"-dirty") != std::wstring::npos ||
           facts.productVersion.find(L"-unknown") != std::wstring::npos;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 2] = {};
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : path;
}

}  // namespace kavrel::diag
