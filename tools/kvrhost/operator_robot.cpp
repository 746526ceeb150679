#include "tools/kvrhost/operator_robot.h"

#include <algorithm>
#include <cstdio>

namespace kavrel::hoststandin {

namespace {

BOOL CALLBACK CollectVisible(HWND w, LPARAM list) {
    if (::IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD thread) {
    std::vector<HWND> windows;
    ::EnumThreadWindows(thread, &CollectVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::string ClassOf(HWND w) {
    char name[128] = {};
    ::GetClassNameA(w, name, sizeof name);
    return name;
}

void Replace(std::string& text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// Runs a Linux command and waits for it (Wine starts it detached; a marker file says when it
// is done).
void RunLinuxCommand(const std::string& command) {
    char marker[64];
    // Process ids repeat across Wine prefixes: the clock makes the name unique.
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    std::snprintf(marker, sizeof marker, "/tmp/kvrhost-%lu-%lld.done", ::GetCurrentProcessId(),
                  static_cast<long long>(now.QuadPart));
    std::string script = "(" + command + "); touch " + marker;
    std::string line = "/bin/sh -c \"";
    for (char c : script) {
        if (c == '"' || c == '\\') line += '\\';
        line += c;
    }
    line += "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA("Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return;
    }
    // The handles are not closed: for a Linux program Wine leaves PROCESS_INFORMATION holding
    // uninitialised values, which may name handles this process really has.
    std::string windowsMarker = std::string("Z:") + marker;
    std::replace(windowsMarker.begin(), windowsMarker.end(), '/', '\\');
    for (int waited = 0; waited < 60000; waited += 50) {
        if (::GetFileAttributesA(windowsMarker.c_str()) != INVALID_FILE_ATTRIBUTES) {
            ::DeleteFileA(windowsMarker.c_str());
            return;
        }
        ::Sleep(50);
    }
}

}  // namespace

OperatorRobot::OperatorRobot(std::vector<RobotAction> actions, DWORD thread)
    : actions_(std::move(actions)), thread_(thread) {
    if (!actions_.empty()) worker_ = std::thread([this] { Run(); });
}

OperatorRobot::~OperatorRobot() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

void OperatorRobot::Run() {
    std::vector<HWND> used;
    std::size_t next = 0;
    while (!stop_ && next < actions_.size()) {
        const RobotAction& action = actions_[next];
        for (HWND w : VisibleWindows(thread_)) {
            if (std::find(used.begin(), used.end(), w) != used.end()) continue;
            if (action.kind == RobotAction::PressButton) {
                HWND button = ::GetDlgItem(w, action.buttonId);
                if (!button || !::IsWindowEnabled(button)) continue;
                ::Sleep(300);  // as a person would, once the window is on the screen
                ::PostMessageA(w, WM_COMMAND, MAKEWPARAM(action.buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            } else {
                if (ClassOf(w) != action.windowClass) continue;
                ::Sleep(1000);  // painted and settled
                RECT r{};
                ::GetWindowRect(w, &r);
                std::string command = action.command;
                Replace(command, "{x}", std::to_string(r.left));
                Replace(command, "{y}", std::to_string(r.top));
                Replace(command, "{w}", std::to_string(r.right - r.left));
                Replace(command, "{h}", std::to_string(r.bottom - r.top));
                RunLinuxCommand(command);
                ::PostMessageA(w, WM_CLOSE, 0, 0);
            }
            used.push_back(w);
            ++next;
            break;
        }
        ::Sleep(50);
    }
}

}  // namespace kavrel::hoststandin
