// The TWAIN exports of the Kavrel.dll under test, bound by name from the module the host
// stand-in loaded: the checks call the very functions a script's kvrscan goes through.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "twain/export_binding.h"

namespace kavrel::diag {

// Every export of the library, the file exports among them: a module that lacks one is not the
// module the release ships.
struct TwainExports {
#define KVRDIAG_DECLARE_EXPORT(name) decltype(&::name) name = nullptr;
    KAVREL_TWAIN_EXPORTS(KVRDIAG_DECLARE_EXPORT)
    KAVREL_TWAIN_FILE_EXPORTS(KVRDIAG_DECLARE_EXPORT)
#undef KVRDIAG_DECLARE_EXPORT
};

// Binds every export; the names `module` does not export go to `missing`.
TwainExports BindTwainExports(HMODULE module, std::vector<std::string>* missing);

}  // namespace kavrel::diag
