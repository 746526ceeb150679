// The TWAIN library's exports as a program that loads Kavrel.dll itself binds them by name
// (kvrdiag, the tests): one list of them, one way of binding each to a pointer of its declared
// type.
#pragma once

#include <windows.h>

#include "twain/twain.h"

// The library's exports; KAVREL_TWAIN_FILE_EXPORTS, those that read and write files and the
// clipboard.
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

namespace kavrel::twainlib {

// Points `function` at the export `name` of `module`; false (and null) when it has none.
template <class Function>
bool BindExport(HMODULE module, const char* name, Function*& function) {
    function = reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return function != nullptr;
}

}  // namespace kavrel::twainlib
