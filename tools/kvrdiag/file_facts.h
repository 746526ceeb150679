// What the report says about a program file: whether it is there, its size and its file
// version (from its version resource, GetFileVersionInfoA / VerQueryValueA).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tools/kvrdiag/texts.h"

namespace kavrel::diag {

struct FileFacts {
    bool exists = false;
    DWORD error = 0;  // why its attributes could not be read
    bool directory = false;
    unsigned long long size = 0;
    std::optional<std::wstring> version;  // "1.2.0.7"; none without a version resource
    std::wstring productVersion;          // its text, "1.2.0+abc1234"; empty when it has none
    bool privateBuild = false;            // flagged as no release (uncommitted changes, no history)
};

FileFacts ReadFileFacts(const std::string& path);

// "1.2.0.7, product version 1.2.0+abc1234", "1.2.0.7" or "none"
std::wstring VersionText(Language language, const FileFacts& facts);
// A build no release comes from: flagged private, or its product version says "-dirty".
bool IsDeveloperBuild(const FileFacts& facts);

// The full path of `path` (relative paths are taken from the current directory).
std::string FullPath(const std::string& path);

}  // namespace kavrel::diag
