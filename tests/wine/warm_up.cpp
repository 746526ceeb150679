// Keeps a Wine prefix ready for the tests: the first window of a prefix starts its desktop
// process, which ends again soon after the last window closes. With "--stay" one hidden window
// lives on (until the prefix's server is killed), so that no test program starts a desktop that
// keeps the test runner waiting on its output.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    HWND window = ::CreateWindowExA(0, "STATIC", "kavrel warm-up", WS_POPUP, 0, 0, 1, 1, nullptr,
                                    nullptr, nullptr, nullptr);
    if (argc > 1 && std::strcmp(argv[1], "--stay") == 0) {
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
    }
    if (window) ::DestroyWindow(window);
    return 0;
}
