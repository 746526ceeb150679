// Kavrel.dll's TWAIN exports, bound by name from a freshly loaded DLL. A test that loads its own
// copy starts from the library's load-time state (state 1, nothing cached), whatever ran before
// it in the same process.
#pragma once

#include <windows.h>

#include <string>

#include "twain/export_binding.h"

namespace kavrel::test {

class KavrelApi {
public:
    // Loads Kavrel.dll (this build's, unless a path is given) and binds every export; a missing
    // export fails the current test.
    explicit KavrelApi(bool withFileExports = false, const std::string& path = "");
    ~KavrelApi();
    KavrelApi(const KavrelApi&) = delete;
    KavrelApi& operator=(const KavrelApi&) = delete;

    HMODULE Module() const { return module_; }
    bool Loaded() const { return module_ != nullptr && complete_; }

#define KAVREL_DECLARE(name) decltype(&::name) name = nullptr;
    KAVREL_TWAIN_EXPORTS(KAVREL_DECLARE)
    KAVREL_TWAIN_FILE_EXPORTS(KAVREL_DECLARE)
#undef KAVREL_DECLARE

private:
    HMODULE module_ = nullptr;
    bool complete_ = false;
};

}  // namespace kavrel::test
