#include "support/window_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace kavrel::test {

namespace {

// Messages to the thread under test wait for its answer, bounded in time, but never give up at
// once on a thread that counts as hung: a thread that has not asked for a message for five
// seconds (a run of cases that pump none) counts as hung to Wine until its new modal loop waits,
// and a box may already be visible before its loop does. The answer comes as soon as it does.
constexpr DWORD kAnswerWithinMs = 15000;

std::string TextOf(HWND window) {
    char text[2048] = {};
    // WM_GETTEXT is answered by the window's thread, which is pumping messages in its modal loop
    // (under the emulator, on a loaded machine, that can take seconds: bounded, not hurried).
    DWORD_PTR length = 0;
    ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                          SMTO_NORMAL, kAnswerWithinMs, &length);
    return text;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

struct Children {
    std::vector<HWND> all;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM children) {
    reinterpret_cast<Children*>(children)->all.push_back(child);
    return TRUE;
}

struct ThreadWindows {
    std::vector<HWND> all;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM windows) {
    reinterpret_cast<ThreadWindows*>(windows)->all.push_back(window);
    return TRUE;
}

// A message box can be visible before it is filled in (its caption and text are set as it
// initialises): it is answered once its text is there. Message boxes keep their text in the static
// control 0xFFFF; other dialogs are taken as they come.
bool Complete(const SeenWindow& seen) {
    if (seen.className != "#32770" || !::GetDlgItem(seen.window, 0xFFFF)) return true;
    return !seen.buttonIds.empty() && !seen.text.empty();
}

std::vector<HWND> TopLevelWindows(DWORD threadId) {
    ThreadWindows windows;
    ::EnumThreadWindows(threadId, &CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows.all;
}

std::vector<HWND> ProcessWindows(DWORD processId) {
    ThreadWindows windows;
    ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    std::vector<HWND> own;
    for (HWND window : windows.all) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId) own.push_back(window);
    }
    return own;
}

}  // namespace

SeenWindow Inspect(HWND window) {
    SeenWindow seen;
    seen.window = window;
    seen.className = ClassOf(window);
    seen.caption = TextOf(window);
    Children children;
    ::EnumChildWindows(window, &CollectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children.all) {
        const std::string cls = ClassOf(child);
        if (_stricmp(cls.c_str(), "Static") == 0) {
            const LONG style = ::GetWindowLongA(child, GWL_STYLE);
            if ((style & SS_TYPEMASK) == SS_ICON) {
                // A message box keeps its icon control even without an icon: look at what it holds.
                DWORD_PTR icon = 0;
                ::SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_NORMAL, kAnswerWithinMs, &icon);
                if (icon && ::IsWindowVisible(child)) seen.iconStyle = 1;
                continue;
            }
            const std::string text = TextOf(child);
            if (text.empty()) continue;
            if (!seen.text.empty()) seen.text += "\n";
            seen.text += text;
        } else if (_stricmp(cls.c_str(), "Button") == 0) {
            seen.buttonIds.push_back(::GetDlgCtrlID(child));
            seen.buttonTexts.push_back(TextOf(child));
        }
    }
    return seen;
}

int PressFirstButton(const SeenWindow& w) {
    if (w.className != "#32770" || w.buttonIds.empty()) return 0;
    return w.buttonIds.front();
}

void PressDialogButton(HWND dialog, int id) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

WindowWatcher::WindowWatcher(WindowHandler handler, DWORD deadlineMs, DWORD threadId)
    : handler_(std::move(handler)), deadlineMs_(deadlineMs), threadId_(threadId) {
    thread_ = std::thread([this] { Run(); });
}

WindowWatcher::WindowWatcher(WindowHandler handler, DWORD deadlineMs, OfProcess process)
    : handler_(std::move(handler)), deadlineMs_(deadlineMs), threadId_(0), processId_(process.id) {
    thread_ = std::thread([this] { Run(); });
}

WindowWatcher::~WindowWatcher() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (timedOut_) ADD_FAILURE() << "a window of the thread under test was never answered";
}

std::vector<SeenWindow> WindowWatcher::Answered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answered_;
}

std::vector<SeenWindow> WindowWatcher::Dialogs() const {
    std::vector<SeenWindow> dialogs;
    for (const auto& w : Answered()) {
        if (w.className == "#32770") dialogs.push_back(w);
    }
    return dialogs;
}

void WindowWatcher::Run() {
    const auto start = std::chrono::steady_clock::now();
    while (!stop_) {
        for (HWND window : processId_ ? ProcessWindows(processId_) : TopLevelWindows(threadId_)) {
            if (!::IsWindowVisible(window)) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (std::find(done_.begin(), done_.end(), window) != done_.end()) continue;
            }
            SeenWindow seen = Inspect(window);
            if (!Complete(seen)) continue;  // looked at again on the next round
            const int button = handler_(seen);
            if (button == 0) continue;
            seen.pressed = button;
            {
                // Recorded before it is answered: the thread under test goes on at the press.
                std::lock_guard<std::mutex> lock(mutex_);
                done_.push_back(window);
                answered_.push_back(seen);
            }
            if (seen.className == "#32770") PressDialogButton(window, button);
        }
        {
            // A window destroyed and its handle reused must be seen anew.
            std::lock_guard<std::mutex> lock(mutex_);
            done_.erase(std::remove_if(done_.begin(), done_.end(),
                                       [](HWND w) { return !::IsWindow(w) || !::IsWindowVisible(w); }),
                        done_.end());
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed > std::chrono::milliseconds(deadlineMs_)) {
            timedOut_ = true;
            if (!processId_) ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        }
        ::Sleep(15);
    }
}

HWND WaitForWindow(DWORD threadId, const std::string& className, DWORD timeoutMs,
                   const std::string& caption) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(threadId)) {
                if (!::IsWindowVisible(window) || ClassOf(window) != className) continue;
                if (!caption.empty() && TextOf(window) != caption) continue;
                found = window;
                return true;
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        ::Sleep(10);
    }
}

}  // namespace kavrel::test
