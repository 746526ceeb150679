// Kavrel.dll's TWAIN exports, bound by name from a freshly loaded DLL. A test that loads its own
// copy starts from the library's load-time state (state 1, nothing cached), whatever ran before
// it in the same process.
#pragma once

#include <windows.h>

#include <string>

#include "twain/twain.h"

namespace kavrel::test {

#define KAVREL_TWAIN_EXPORTS(X)                                                              \
    X(TWAIN_EasyVersion) \
    X(TWAIN_State) \
    X(TWAIN_IsAvailable) \
    X(TWAIN_GetHideUI) \
    X(TWAIN_SetHideUI) \
    X(TWAIN_RegisterApp) \
    X(TWAIN_GetResultCode) \
    X(TWAIN_GetConditionCode) \
    X(TWAIN_LoadSourceManager) \
    X(TWAIN_OpenSourceManager) \
    X(TWAIN_OpenDefaultSource) \
    X(TWAIN_EnableSource) \
    X(TWAIN_DisableSource) \
    X(TWAIN_CloseSource) \
    X(TWAIN_CloseSourceManager) \
    X(TWAIN_UnloadSourceManager) \
    X(TWAIN_DS) \
    X(TWAIN_Mgr) \
    X(TWAIN_SetCapOneValue) \
    X(TWAIN_GetCapCurrent) \
    X(TWAIN_NegotiateXferCount) \
    X(TWAIN_SetCurrentUnits) \
    X(TWAIN_SetBitDepth) \
    X(TWAIN_SetCurrentPixelType) \
    X(TWAIN_GetCurrentUnits) \
    X(TWAIN_GetBitDepth) \
    X(TWAIN_GetPixelType) \
    X(TWAIN_NegotiatePixelTypes) \
    X(TWAIN_FreeNative) \
    X(TWAIN_ClearDibList) \
    X(TWAIN_GetNumDibs) \
    X(TWAIN_GetDib) \
    X(TWAIN_DibWidth) \
    X(TWAIN_DibHeight) \
    X(TWAIN_DibDepth) \
    X(TWAIN_DibNumColors) \
    X(TWAIN_CreateDibPalette) \
    X(TWAIN_DrawDibToDC) \
    X(TWAIN_SelectImageSource) \
    X(TWAIN_AcquireNative) \
    X(TWAIN_ModalEventLoop) \
    X(TWAIN_MessageHook) \
    X(TWAIN_NativeXferGetAll) \
    X(TWAIN_AbortAllPendingXfers) \
    X(TWAIN_RegisterCallback) \
    X(TWAIN_UnRegisterCallback)
#define KAVREL_TWAIN_FILE_EXPORTS(X)                                                         \
    X(TWAIN_AcquireToClipboard) \
    X(TWAIN_AcquireToFilename) \
    X(TWAIN_WriteNativeToFilename) \
    X(TWAIN_WriteNativeToFile) \
    X(TWAIN_WriteDibToFile) \
    X(TWAIN_LoadNativeFromFilename) \
    X(TWAIN_LoadNativeFromFile)
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
