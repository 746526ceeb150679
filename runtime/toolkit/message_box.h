// The toolkit's message boxes.
#pragma once

#include <windows.h>

#include <string>

namespace kavrel::ui {

// The standard error box: the error's own message and one OK button, modal over the thread's
// active window.
void ShowErrorBox(const std::string& message);

// A question with Yes (the default) and No and no icon. True for Yes.
bool AskYesNo(HWND owner, const std::string& text, const std::string& caption);

// A text with one OK button and no icon.
void ShowInformation(HWND owner, const std::string& text, const std::string& caption);

}  // namespace kavrel::ui
