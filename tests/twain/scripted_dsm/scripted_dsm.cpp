// A TWAIN_32.DLL for tests: every DSM_Entry call goes to a handler that the test installs, which
// records the triplet and answers it as the test scripts. The test loads this DLL itself first,
// so it stays resident (with its handler) while the library loads and unloads it.
#include <windows.h>

#include "twain/twain_protocol.h"

using namespace twain;

using ScriptedHandler = TW_UINT16(WINAPI*)(void* context, TW_IDENTITY* origin,
                                           TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat,
                                           TW_UINT16 msg, TW_MEMREF data);

namespace {
ScriptedHandler handler = nullptr;
void* handlerContext = nullptr;
}  // namespace

extern "C" __declspec(dllexport) TW_UINT16 WINAPI DSM_Entry(TW_IDENTITY* origin,
                                                            TW_IDENTITY* destination, TW_UINT32 dg,
                                                            TW_UINT16 dat, TW_UINT16 msg,
                                                            TW_MEMREF data) {
    if (!handler) return TWRC_FAILURE;
    return handler(handlerContext, origin, destination, dg, dat, msg, data);
}

extern "C" __declspec(dllexport) void WINAPI ScriptedDsm_SetHandler(ScriptedHandler h, void* context) {
    handler = h;
    handlerContext = context;
}
