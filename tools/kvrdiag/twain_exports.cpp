#include "tools/kvrdiag/twain_exports.h"

namespace kavrel::diag {

TwainExports BindTwainExports(HMODULE module, std::vector<std::string>* missing) {
    TwainExports api;
#define KVRDIAG_BIND_EXPORT(name)                                                                          \
    api.name = reinterpret_cast<decltype(api.name)>(reinterpret_cast<void*>(::GetProcAddress(module, #name))); \
    if (!api.name) missing->push_back(#name);
    KVRDIAG_TWAIN_EXPORTS(KVRDIAG_BIND_EXPORT)
#undef KVRDIAG_BIND_EXPORT
    return api;
}

}  // namespace kavrel::diag
