#include "tools/virtual_scanner/scanner_settings.h"

#include <windows.h>

#include <algorithm>
#include <optional>

#include "base/this_module.h"
#include "base/win_handles.h"

namespace kavrel::vscan {

namespace {

constexpr char kSection[] = "Scanner";

// The value of an environment variable, at any length; none when it is not set.
std::optional<std::string> Environment(const char* name) {
    const DWORD needed = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::string value(needed, '\0');
    const DWORD n = ::GetEnvironmentVariableA(name, value.data(), needed);
    if (n == 0 || n >= needed) return std::nullopt;
    value.resize(n);
    return value;
}

}  // namespace

std::string ScannerSettingsPath() {
    if (auto named = Environment("KAVREL_VSCAN_INI")) {
        // The profile functions look for a name without a folder in the Windows folder: the name
        // is made full here, so that it means what it means to everyone else (the current
        // directory), and what is checked below is the file they read.
        char full[MAX_PATH] = {};
        const DWORD n = ::GetFullPathNameA(named->c_str(), sizeof full, full, nullptr);
        return n > 0 && n < sizeof full ? std::string(full, n) : *named;
    }
    char buffer[MAX_PATH] = {};
    ::GetModuleFileNameA(ThisModule(), buffer, sizeof buffer);
    std::string path(buffer);
    const auto slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "virtual-scanner.ini";
}

ScannerSettings ReadScannerSettings() {
    const std::string file = ScannerSettingsPath();
    ScannerSettings s;
    // A file named by the variable must be read: a fault switch in it that went unread would make
    // the scanner behave as a sound one. (The file beside the scanner is optional.)
    if (Environment("KAVREL_VSCAN_INI")) {
        const DWORD attributes = ::GetFileAttributesA(file.c_str());
        if (file.size() >= MAX_PATH) {
            s.unusable = "the settings file's name is longer than the profile functions read";
        } else if (attributes == INVALID_FILE_ATTRIBUTES) {
            s.unusable = "the settings file is not there";
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) ||
                   !kavrel::KernelHandle(::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))) {
            s.unusable = "the settings file cannot be read";
        }
        if (!s.unusable.empty()) return s;
    }
    auto number = [&](const char* key, int fallback) {
        return static_cast<int>(::GetPrivateProfileIntA(kSection, key, fallback, file.c_str()));
    };
    s.pages = std::clamp(number("Pages", s.pages), 0, 10000);
    s.width = std::clamp(number("Width", s.width), 1, 20000);
    s.height = std::clamp(number("Height", s.height), 1, 20000);
    // A value that fills the buffer was cut short: it is not taken for another.
    bool cut = false;
    auto text = [&](const char* key) {
        std::string value(32768, '\0');
        const DWORD n = ::GetPrivateProfileStringA(kSection, key, "", value.data(),
                                                   static_cast<DWORD>(value.size()), file.c_str());
        if (n + 1 >= value.size()) cut = true;
        value.resize(n);
        return value;
    };
    s.imageFile = text("Image");
    s.cancel = number("Cancel", 0) != 0;
    s.closeRequest = number("CloseRequest", 0) != 0;
    s.failTransfers = std::max(-1, number("FailTransfers", 0));
    s.failEnable = number("FailEnable", 0) != 0;
    s.enableAnswer = text("EnableAnswer");
    s.readyTwice = number("ReadyTwice", 0) != 0;
    s.closeAfterPages = std::max(0, number("CloseAfterPages", 0));
    s.refuseEndTransfer = number("RefuseEndTransfer", 0) != 0;
    s.refuseReset = number("RefuseReset", 0) != 0;
    s.deliver = text("Deliver");
    s.withholdCloseRequest = number("WithholdCloseRequest", 0) != 0;
    s.pendingNeverFalls = number("PendingNeverFalls", 0) != 0;
    s.hangOnOpen = number("HangOnOpen", 0) != 0;
    s.setOneValueOnly = number("SetOneValueOnly", 0) != 0;
    s.getOneValue = text("GetOneValue");
    if (s.getOneValue == "0") s.getOneValue.clear();
    s.endlessBatch = number("EndlessBatch", 0) != 0;
    if (cut) s.unusable = "a value in the settings file is longer than the scanner reads";
    return s;
}

}  // namespace kavrel::vscan
