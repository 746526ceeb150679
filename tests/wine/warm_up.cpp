// Keeps a Wine prefix ready for the tests. The first window of a prefix starts its desktop
// process, which ends again soon after the last window closes; a program that makes a window
// while the desktop is still starting waits for it at most 10 s and is then left without one (its
// windows and dialogs fail). Under the i386 emulator, with every prefix booting at once, the
// desktop can take longer than that. So the test run starts this program in each prefix first:
//   kavrel_warm_up.exe --stay READY_FILE
// makes sure the prefix has its desktop (asking again until it has), keeps one hidden window
// alive so that the desktop stays (until the prefix's server is killed), and only then creates
// READY_FILE, which the test run waits for before any test starts.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// True once this thread has the prefix's desktop window; Wine asks for it again at every call
// while it has none.
bool HaveDesktop() { return ::GetDesktopWindow() != nullptr; }

}  // namespace

int main(int argc, char** argv) {
    const bool stay = argc > 1 && std::strcmp(argv[1], "--stay") == 0;
    const char* readyFile = stay && argc > 2 ? argv[2] : nullptr;

    // Bounded: 60 tries of up to 10 s each inside Wine, a second apart.
    for (int attempt = 0; attempt < 60 && !HaveDesktop(); ++attempt) ::Sleep(1000);
    if (!HaveDesktop()) {
        std::fprintf(stderr, "kavrel_warm_up: the prefix's desktop did not start\n");
        return 1;
    }
    HWND window = ::CreateWindowExA(0, "STATIC", "kavrel warm-up", WS_POPUP, 0, 0, 1, 1, nullptr,
                                    nullptr, nullptr, nullptr);
    if (!window) {
        std::fprintf(stderr, "kavrel_warm_up: no window (error %lu)\n", ::GetLastError());
        return 1;
    }
    if (readyFile) {
        HANDLE file = ::CreateFileA(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    }
    if (stay) {
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
    }
    ::DestroyWindow(window);
    return 0;
}
