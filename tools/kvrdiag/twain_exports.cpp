#include "tools/kvrdiag/twain_exports.h"

namespace kavrel::diag {

TwainExports BindTwainExports(HMODULE module, std::vector<std::string>* missing) {
    TwainExports api;
#define KVRDIAG_BIND_EXPORT(name) \
    if (!twainlib::BindExport(module, #name, api.name)) missing->push_back(#name);
    KAVREL_TWAIN_EXPORTS(KVRDIAG_BIND_EXPORT)
    KAVREL_TWAIN_FILE_EXPORTS(KVRDIAG_BIND_EXPORT)
#undef KVRDIAG_BIND_EXPORT
    return api;
}

}  // namespace kavrel::diag
