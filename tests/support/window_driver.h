// Driving modal windows from a second thread: the thread under test sits inside a modal loop
// (a message box, a dialog, the viewer), and a watcher thread finds its windows, reads them and
// answers them. Every wait is bounded.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kavrel::test {

struct SeenWindow {
    HWND window = nullptr;
    std::string className;
    std::string caption;              // ANSI
    std::string text;                 // the static texts inside, joined by "\n"
    std::vector<int> buttonIds;       // child buttons, in creation order
    std::vector<std::string> buttonTexts;
    UINT iconStyle = 0;               // for message boxes: the icon shown (MB_ICON*), if known
    int pressed = 0;                  // the button the watcher pressed
};

// What a watcher does with a window it sees: answer it (press a button and return its id) or
// leave it for later (return 0).
using WindowHandler = std::function<int(const SeenWindow&)>;

// Answers every dialog with its first button (OK for a message box) and leaves other windows.
int PressFirstButton(const SeenWindow& w);

class WindowWatcher {
public:
    // Watches the top-level windows of `threadId` (default: the constructing thread). After
    // `deadlineMs` it gives up: it posts WM_QUIT to that thread until the modal loops there end,
    // and the test fails.
    explicit WindowWatcher(WindowHandler handler = PressFirstButton, DWORD deadlineMs = 60000,
                           DWORD threadId = ::GetCurrentThreadId());
    // Watches the top-level windows of another process, whichever of its threads made them
    // (kvrdiag run as a program). It posts nothing at its deadline: the caller ends the process.
    struct OfProcess {
        DWORD id;
    };
    WindowWatcher(WindowHandler handler, DWORD deadlineMs, OfProcess process);
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher&) = delete;
    WindowWatcher& operator=(const WindowWatcher&) = delete;

    // The windows answered so far, in order.
    std::vector<SeenWindow> Answered() const;
    // Dialog boxes (#32770) answered so far.
    std::vector<SeenWindow> Dialogs() const;

private:
    void Run();
    WindowHandler handler_;
    DWORD deadlineMs_;
    DWORD threadId_;
    DWORD processId_ = 0;  // nonzero: every thread of this process, and threadId_ is unused
    std::atomic<bool> stop_{false};
    std::atomic<bool> timedOut_{false};
    mutable std::mutex mutex_;
    std::vector<SeenWindow> answered_;
    std::vector<HWND> done_;
    std::thread thread_;
};

// Reads a top-level window as the watcher sees it.
SeenWindow Inspect(HWND window);

// Presses a child button of a dialog (posted, as a click would).
void PressDialogButton(HWND dialog, int id);

// The first visible top-level window of `threadId` with this class (and caption, if given),
// waiting at most `timeoutMs`; null if none appeared.
HWND WaitForWindow(DWORD threadId, const std::string& className, DWORD timeoutMs,
                   const std::string& caption = {});

// Waits until `condition` holds, checking every 10 ms, at most `timeoutMs`.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

}  // namespace kavrel::test
