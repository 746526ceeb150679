#include "runtime/toolkit/message_box.h"

namespace kavrel::ui {

namespace {
// Every error box carries the same caption, so that operators and support recognise it.
constexpr char kErrorCaption[] = "Ошибка";
}  // namespace

void ShowErrorBox(const std::string& message) {
    ::MessageBoxA(::GetActiveWindow(), message.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
}

bool AskYesNo(HWND owner, const std::string& text, const std::string& caption) {
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), MB_YESNO | MB_DEFBUTTON1) == IDYES;
}

void ShowInformation(HWND owner, const std::string& text, const std::string& caption) {
    ::MessageBoxA(owner, text.c_str(), caption.c_str(), MB_OK);
}

}  // namespace kavrel::ui
