// The TWAIN acquisition library exported by Kavrel.dll. Every function uses the Windows API
// calling convention (the callee removes its arguments) and is exported under its plain name.
//
// Truth values are 1 or 0. A DIB is a packed device-independent bitmap in a global memory block,
// passed by the block's handle; whoever receives one frees it with TWAIN_FreeNative.
// The library never throws: it reports by return value, keeps the last triplet's result code
// and the first error of an acquisition, and shows message boxes ("TWAIN Error") when its
// high-level calls fail.
#pragma once

#include <windows.h>

// C and C++ callers alike: the names are C names.
#ifdef __cplusplus
#define TWAIN_LINKAGE extern "C"
#else
#define TWAIN_LINKAGE extern
#endif
#ifdef KAVREL_BUILDING_TWAIN
#define TWAIN_API TWAIN_LINKAGE __declspec(dllexport)
#else
#define TWAIN_API TWAIN_LINKAGE __declspec(dllimport)
#endif

// Called once for every transferred image, with its DIB and its 0-based index in the DIB list.
// Either calling convention works: the library restores the stack after the call.
typedef void(WINAPI* TW_TRANSFER_CALLBACK)(HANDLE dib, int index);

// --- information and settings -------------------------------------------------------------
TWAIN_API int WINAPI TWAIN_EasyVersion(void);  // 106
TWAIN_API int WINAPI TWAIN_State(void);        // the TWAIN state, 1 to 7
TWAIN_API int WINAPI TWAIN_IsAvailable(void);  // whether the Source Manager can be loaded
TWAIN_API int WINAPI TWAIN_GetHideUI(void);
TWAIN_API void WINAPI TWAIN_SetHideUI(int hide);
TWAIN_API void WINAPI TWAIN_RegisterApp(int majorNum, int minorNum, int language, int country,
                                        LPCSTR version, LPCSTR manufacturer, LPCSTR productFamily,
                                        LPCSTR productName);
TWAIN_API int WINAPI TWAIN_GetResultCode(void);
TWAIN_API int WINAPI TWAIN_GetConditionCode(void);

// --- state-machine steps --------------------------------------------------------------------
TWAIN_API int WINAPI TWAIN_LoadSourceManager(void);
TWAIN_API int WINAPI TWAIN_OpenSourceManager(HWND window);
TWAIN_API int WINAPI TWAIN_OpenDefaultSource(void);
TWAIN_API int WINAPI TWAIN_EnableSource(HWND window);
TWAIN_API int WINAPI TWAIN_DisableSource(void);
TWAIN_API int WINAPI TWAIN_CloseSource(void);
TWAIN_API int WINAPI TWAIN_CloseSourceManager(HWND window);
TWAIN_API int WINAPI TWAIN_UnloadSourceManager(void);

// --- raw triplets -----------------------------------------------------------------------------
TWAIN_API int WINAPI TWAIN_DS(unsigned long dg, unsigned short dat, unsigned short msg, void* data);
TWAIN_API int WINAPI TWAIN_Mgr(unsigned long dg, unsigned short dat, unsigned short msg, void* data);

// --- capabilities (state 4) -----------------------------------------------------------------
TWAIN_API int WINAPI TWAIN_SetCapOneValue(unsigned cap, unsigned itemType, long value);
TWAIN_API int WINAPI TWAIN_GetCapCurrent(unsigned cap, unsigned itemType, void* place);
TWAIN_API int WINAPI TWAIN_NegotiateXferCount(int count);
TWAIN_API int WINAPI TWAIN_SetCurrentUnits(int units);
TWAIN_API int WINAPI TWAIN_SetBitDepth(int depth);
TWAIN_API int WINAPI TWAIN_SetCurrentPixelType(int pixelType);
TWAIN_API int WINAPI TWAIN_GetCurrentUnits(void);
TWAIN_API int WINAPI TWAIN_GetBitDepth(void);
TWAIN_API int WINAPI TWAIN_GetPixelType(void);
// Bit n of the mask stands for pixel type n; 0 accepts any type and negotiates nothing.
TWAIN_API int WINAPI TWAIN_NegotiatePixelTypes(unsigned long pixelTypeMask);

// --- DIBs ---------------------------------------------------------------------------------------
TWAIN_API void WINAPI TWAIN_FreeNative(HANDLE dib);
TWAIN_API void WINAPI TWAIN_ClearDibList(void);
TWAIN_API int WINAPI TWAIN_GetNumDibs(void);
TWAIN_API HANDLE WINAPI TWAIN_GetDib(int index);
TWAIN_API int WINAPI TWAIN_DibWidth(HANDLE dib);
TWAIN_API int WINAPI TWAIN_DibHeight(HANDLE dib);
TWAIN_API int WINAPI TWAIN_DibDepth(HANDLE dib);
TWAIN_API int WINAPI TWAIN_DibNumColors(HANDLE dib);
TWAIN_API HPALETTE WINAPI TWAIN_CreateDibPalette(HANDLE dib);
TWAIN_API void WINAPI TWAIN_DrawDibToDC(HDC dc, int dx, int dy, int width, int height, HANDLE dib,
                                        int sx, int sy);

// --- acquisition --------------------------------------------------------------------------------
TWAIN_API int WINAPI TWAIN_SelectImageSource(HWND window);
TWAIN_API HANDLE WINAPI TWAIN_AcquireNative(HWND window, unsigned long pixelTypeMask);
TWAIN_API void WINAPI TWAIN_ModalEventLoop(void);
TWAIN_API int WINAPI TWAIN_MessageHook(LPMSG message);
TWAIN_API int WINAPI TWAIN_NativeXferGetAll(void* ignored);
TWAIN_API int WINAPI TWAIN_AbortAllPendingXfers(void);
TWAIN_API void WINAPI TWAIN_RegisterCallback(TW_TRANSFER_CALLBACK callback);
TWAIN_API void WINAPI TWAIN_UnRegisterCallback(void);

// --- BMP files and the clipboard ----------------------------------------------------------------
// Writers answer 0 written, -1 no image / dialog cancelled, -2 file not created, -3 DIB not
// lockable, -4 write failed or DIB refused. A file that was there is replaced only by a complete
// new one: when writing fails, it stays as it was (and where there was none, none is left).
//
// TWAIN_AcquireToFilename and TWAIN_AcquireToClipboard use the last image of the acquisition (the
// one TWAIN_AcquireNative returns): the file's image is freed after writing, the clipboard's is
// the clipboard's. The other pages of a feeder batch stay in the DIB list, as TWAIN_AcquireNative
// leaves them: they are the caller's, who reads them with TWAIN_GetDib and frees them with
// TWAIN_FreeNative.
TWAIN_API int WINAPI TWAIN_AcquireToClipboard(HWND window, unsigned long pixelTypeMask);
TWAIN_API int WINAPI TWAIN_AcquireToFilename(HWND window, LPCSTR fileName);
TWAIN_API int WINAPI TWAIN_WriteNativeToFilename(HANDLE dib, LPCSTR fileName);
TWAIN_API int WINAPI TWAIN_WriteNativeToFile(HANDLE dib, HFILE file);
TWAIN_API int WINAPI TWAIN_WriteDibToFile(LPBITMAPINFOHEADER dib, HFILE file);
TWAIN_API HANDLE WINAPI TWAIN_LoadNativeFromFilename(LPCSTR fileName);
TWAIN_API HANDLE WINAPI TWAIN_LoadNativeFromFile(HFILE file);
