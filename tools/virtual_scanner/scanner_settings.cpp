#include "tools/virtual_scanner/scanner_settings.h"

#include <windows.h>

#include <algorithm>

#include "base/this_module.h"

namespace kavrel::vscan {

namespace {
constexpr char kSection[] = "Scanner";
}  // namespace

std::string ScannerSettingsPath() {
    char buffer[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableA("KAVREL_VSCAN_INI", buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) return buffer;
    ::GetModuleFileNameA(ThisModule(), buffer, sizeof buffer);
    std::string path(buffer);
    const auto slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "virtual-scanner.ini";
}

ScannerSettings ReadScannerSettings() {
    const std::string file = ScannerSettingsPath();
    auto number = [&](const char* key, int fallback) {
        return static_cast<int>(::GetPrivateProfileIntA(kSection, key, fallback, file.c_str()));
    };
    ScannerSettings s;
    s.pages = std::clamp(number("Pages", s.pages), 0, 10000);
    s.width = std::clamp(number("Width", s.width), 1, 20000);
    s.height = std::clamp(number("Height", s.height), 1, 20000);
    auto text = [&](const char* key) {
        char value[MAX_PATH] = {};
        ::GetPrivateProfileStringA(kSection, key, "", value, sizeof value, file.c_str());
        return std::string(value);
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
    return s;
}

}  // namespace kavrel::vscan
