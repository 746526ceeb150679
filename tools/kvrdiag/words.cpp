#include "tools/kvrdiag/words.h"

#include <cwchar>

#include "twain/code_names.h"

namespace kavrel::diag {

std::wstring Seconds(double seconds) {
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%.2f s", seconds);
    return text;
}

std::wstring WholeSeconds(std::chrono::milliseconds limit) { return std::to_wstring(limit.count() / 1000) + L" s"; }

std::wstring Bytes(unsigned long long bytes) {
    std::wstring digits = std::to_wstring(bytes);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), L" ");
    return digits + L" bytes";
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring Widened(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring CodesText(std::optional<int> resultCode, std::optional<int> conditionCode) {
    std::wstring text = L"no triplet";
    if (resultCode) {
        text = Widened(twainlib::ResultCodeName(*resultCode));
        if (text == L"unknown") text = L"result code " + std::to_wstring(*resultCode);
    }
    if (conditionCode) {
        const std::wstring condition = Widened(twainlib::ConditionCodeName(*conditionCode));
        text += L", " + (condition == L"unknown" ? L"condition code " + std::to_wstring(*conditionCode) : condition);
    }
    return text;
}

std::wstring StepFact(const wchar_t* name, const StepAnswer& answer) {
    return std::wstring(name) + L" = " + std::to_wstring(answer.returned) + L": " +
           CodesText(answer.resultCode, answer.conditionCode) + L", state " + std::to_wstring(answer.state) + L", " +
           Seconds(answer.seconds);
}

void ReportHang(ReportSection& section, const std::wstring& what, std::chrono::milliseconds limit) {
    section.Fail(what + L" did not come back in " + WholeSeconds(limit) +
                     L": the driver hangs there, and the TWAIN checks stop",
                 L"switch the scanner off and on and reconnect its cable, then run kvrdiag again; if it still hangs, "
                 L"reinstall the scanner's TWAIN driver");
}

void ReportNotRun(ReportSection& section, const std::wstring& what) {
    section.Fail(what + L" not run: a TWAIN driver call before it hangs (section 3)",
                 L"see to the hanging driver first (section 3)");
}

void ReportNoManagerWindow(ReportSection& section) {
    section.Fail(L"no window for the TWAIN manager could be made", L"restart Windows and run kvrdiag again");
}

}  // namespace kavrel::diag
