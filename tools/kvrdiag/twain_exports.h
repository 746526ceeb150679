// The TWAIN exports of the Kavrel.dll under test, bound by name from the module the host
// stand-in loaded: the checks call the very functions a script's kvrscan goes through.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "twain/twain.h"

namespace kavrel::diag {

#define KVRDIAG_TWAIN_EXPORTS(X) \
    X(TWAIN_EasyVersion)         \
    X(TWAIN_State)               \
    X(TWAIN_IsAvailable)         \
    X(TWAIN_SetHideUI)           \
    X(TWAIN_GetResultCode)       \
    X(TWAIN_GetConditionCode)    \
    X(TWAIN_LoadSourceManager)   \
    X(TWAIN_OpenSourceManager)   \
    X(TWAIN_OpenDefaultSource)   \
    X(TWAIN_NegotiateXferCount)  \
    X(TWAIN_NegotiatePixelTypes) \
    X(TWAIN_EnableSource)        \
    X(TWAIN_ModalEventLoop)      \
    X(TWAIN_DisableSource)       \
    X(TWAIN_CloseSource)         \
    X(TWAIN_CloseSourceManager)  \
    X(TWAIN_UnloadSourceManager) \
    X(TWAIN_Mgr)                 \
    X(TWAIN_ClearDibList)        \
    X(TWAIN_GetNumDibs)          \
    X(TWAIN_GetDib)              \
    X(TWAIN_DibWidth)            \
    X(TWAIN_DibHeight)           \
    X(TWAIN_DibDepth)            \
    X(TWAIN_FreeNative)

struct TwainExports {
#define KVRDIAG_DECLARE_EXPORT(name) decltype(&::name) name = nullptr;
    KVRDIAG_TWAIN_EXPORTS(KVRDIAG_DECLARE_EXPORT)
#undef KVRDIAG_DECLARE_EXPORT
};

// Binds every export the checks use; the names `module` does not export go to `missing`.
TwainExports BindTwainExports(HMODULE module, std::vector<std::string>* missing);

}  // namespace kavrel::diag
