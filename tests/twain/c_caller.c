/* A C program that uses the TWAIN library as an outside caller does: through its header and the
   DLL's import library. It must compile as C, link against every export and run. */
#include <stdio.h>

#include "twain/twain.h"

typedef void (*AnyFunction)(void);
#define EXPORT(name) ((AnyFunction)&name)

/* Taking every export's address makes the linker resolve each one through the import library. */
static const AnyFunction exports[] = {
    EXPORT(TWAIN_EasyVersion), EXPORT(TWAIN_State), EXPORT(TWAIN_IsAvailable), EXPORT(TWAIN_GetHideUI),
    EXPORT(TWAIN_SetHideUI), EXPORT(TWAIN_RegisterApp), EXPORT(TWAIN_GetResultCode),
    EXPORT(TWAIN_GetConditionCode), EXPORT(TWAIN_LoadSourceManager), EXPORT(TWAIN_OpenSourceManager),
    EXPORT(TWAIN_OpenDefaultSource), EXPORT(TWAIN_EnableSource), EXPORT(TWAIN_DisableSource),
    EXPORT(TWAIN_CloseSource), EXPORT(TWAIN_CloseSourceManager), EXPORT(TWAIN_UnloadSourceManager),
    EXPORT(TWAIN_DS), EXPORT(TWAIN_Mgr), EXPORT(TWAIN_SetCapOneValue), EXPORT(TWAIN_GetCapCurrent),
    EXPORT(TWAIN_NegotiateXferCount), EXPORT(TWAIN_SetCurrentUnits), EXPORT(TWAIN_SetBitDepth),
    EXPORT(TWAIN_SetCurrentPixelType), EXPORT(TWAIN_GetCurrentUnits), EXPORT(TWAIN_GetBitDepth),
    EXPORT(TWAIN_GetPixelType), EXPORT(TWAIN_NegotiatePixelTypes), EXPORT(TWAIN_FreeNative),
    EXPORT(TWAIN_ClearDibList), EXPORT(TWAIN_GetNumDibs), EXPORT(TWAIN_GetDib), EXPORT(TWAIN_DibWidth),
    EXPORT(TWAIN_DibHeight), EXPORT(TWAIN_DibDepth), EXPORT(TWAIN_DibNumColors),
    EXPORT(TWAIN_CreateDibPalette), EXPORT(TWAIN_DrawDibToDC), EXPORT(TWAIN_SelectImageSource),
    EXPORT(TWAIN_AcquireNative), EXPORT(TWAIN_ModalEventLoop), EXPORT(TWAIN_MessageHook),
    EXPORT(TWAIN_NativeXferGetAll), EXPORT(TWAIN_AbortAllPendingXfers), EXPORT(TWAIN_RegisterCallback),
    EXPORT(TWAIN_UnRegisterCallback), EXPORT(TWAIN_AcquireToClipboard), EXPORT(TWAIN_AcquireToFilename),
    EXPORT(TWAIN_WriteNativeToFilename), EXPORT(TWAIN_WriteNativeToFile), EXPORT(TWAIN_WriteDibToFile),
    EXPORT(TWAIN_LoadNativeFromFilename), EXPORT(TWAIN_LoadNativeFromFile),
};

static int failures = 0;

static void Expect(int condition, const char* what) {
    if (!condition) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

int main(void) {
    size_t i;
    for (i = 0; i < sizeof exports / sizeof exports[0]; ++i) Expect(exports[i] != NULL, "every export resolved");
    /* A few calls through the imports: each also checks that the callee removed its arguments,
       or the stack would be off by the time main returns. */
    Expect(TWAIN_EasyVersion() == 106, "TWAIN_EasyVersion answers 106");
    Expect(TWAIN_State() == 1, "the library starts in state 1");
    TWAIN_SetHideUI(1);
    Expect(TWAIN_GetHideUI() == 1, "the hide setting is kept");
    TWAIN_SetHideUI(0);
    Expect(TWAIN_GetNumDibs() == 0, "no DIBs before any acquisition");
    Expect(TWAIN_GetDib(0) == NULL, "no first DIB");
    Expect(TWAIN_DibWidth(NULL) == 0 && TWAIN_DibHeight(NULL) == 0, "a null DIB has no size");
    Expect(TWAIN_WriteNativeToFile(NULL, HFILE_ERROR) == -3, "a null DIB cannot be locked");
    printf("%u exports linked, %d failures\n", (unsigned)(sizeof exports / sizeof exports[0]), failures);
    return failures == 0 ? 0 : 1;
}
