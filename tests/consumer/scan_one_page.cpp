// Scans one page from the default TWAIN source with its interface hidden, through the TWAIN
// library of Kavrel.dll, and says what came:
//   page: WIDTH x HEIGHT, BITS bits
//   state after the scan: STATE
// Exit status 0 when a page came and the library is back in state 1, otherwise 1.
#include <windows.h>

#include <cstdio>

#include <kavrel/twain.h>

int main() {
    if (!TWAIN_IsAvailable()) {
        std::puts("no TWAIN manager on this system");
        return 1;
    }
    TWAIN_SetHideUI(1);
    HANDLE page = TWAIN_AcquireNative(nullptr, 0);
    if (!page) {
        std::printf("no page: result code %d, condition code %d\n", TWAIN_GetResultCode(),
                    TWAIN_GetConditionCode());
        return 1;
    }
    std::printf("page: %d x %d, %d bits\n", TWAIN_DibWidth(page), TWAIN_DibHeight(page), TWAIN_DibDepth(page));
    TWAIN_FreeNative(page);
    const int state = TWAIN_State();
    std::printf("state after the scan: %d\n", state);
    return state == 1 ? 0 : 1;
}
