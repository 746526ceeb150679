#include "tools/kvrdiag/words.h"

#include <algorithm>
#include <cwchar>

#include "twain/code_names.h"

namespace kavrel::diag {

std::wstring Seconds(Language language, double seconds) {
    wchar_t number[32];
    std::swprintf(number, sizeof number / sizeof number[0], L"%.2f", seconds);
    std::wstring text = number;
    // A decimal comma in Russian.
    if (language == Language::Russian) std::replace(text.begin(), text.end(), L'.', L',');
    return Say(language, TextId::SecondsUnit, {text});
}

std::wstring WholeSeconds(Language language, std::chrono::milliseconds limit) {
    return Say(language, TextId::SecondsUnit, {std::to_wstring(limit.count() / 1000)});
}

std::wstring Bytes(Language language, unsigned long long bytes) {
    std::wstring digits = std::to_wstring(bytes);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), L" ");
    return Say(language, TextId::BytesUnit, {digits});
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring Widened(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring CodesText(Language language, std::optional<int> resultCode, std::optional<int> conditionCode) {
    std::wstring text = Say(language, TextId::NoTriplet);
    if (resultCode) {
        text = Widened(twainlib::ResultCodeName(*resultCode));
        if (text == L"unknown") text = Say(language, TextId::ResultCodeNumber, {std::to_wstring(*resultCode)});
    }
    if (conditionCode) {
        const std::wstring condition = Widened(twainlib::ConditionCodeName(*conditionCode));
        text += L", " + (condition == L"unknown"
                             ? Say(language, TextId::ConditionCodeNumber, {std::to_wstring(*conditionCode)})
                             : condition);
    }
    return text;
}

std::wstring StepFact(Language language, const wchar_t* name, const StepAnswer& answer) {
    return Say(language, TextId::StepFact,
               {name, std::to_wstring(answer.returned), CodesText(language, answer.resultCode, answer.conditionCode),
                std::to_wstring(answer.state), Seconds(language, answer.seconds)});
}

void ReportHang(ReportSection& section, const std::wstring& what, std::chrono::milliseconds limit) {
    section.Fail(section.Say(TextId::TwainHang, {what, WholeSeconds(section.Lang(), limit)}),
                 section.Say(TextId::TwainHangAction));
}

void ReportNoManagerWindow(ReportSection& section) {
    section.Fail(section.Say(TextId::NoManagerWindow), section.Say(TextId::RestartWindows));
}

}  // namespace kavrel::diag
