#include "support/kavrel_api.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kavrel::test {

KavrelApi::KavrelApi(bool withFileExports, const std::string& path) {
    const std::string dll = path.empty() ? KavrelDllPath() : path;
    module_ = ::LoadLibraryA(dll.c_str());
    if (!module_) {
        ADD_FAILURE() << "cannot load " << dll << " (error " << ::GetLastError() << ")";
        return;
    }
    complete_ = true;
#define KAVREL_BIND(name)                                      \
    if (!twainlib::BindExport(module_, #name, name)) {           \
        ADD_FAILURE() << "Kavrel.dll does not export " #name;    \
        complete_ = false;                                       \
    }
    KAVREL_TWAIN_EXPORTS(KAVREL_BIND)
    if (withFileExports) {
        KAVREL_TWAIN_FILE_EXPORTS(KAVREL_BIND)
    }
#undef KAVREL_BIND
}

KavrelApi::~KavrelApi() {
    if (module_) ::FreeLibrary(module_);
}

}  // namespace kavrel::test
