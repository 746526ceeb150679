#include "tools/kvrdiag/report.h"

namespace kavrel::diag {

namespace {

constexpr wchar_t kNewLine[] = L"\r\n";

const wchar_t* Tag(Level level) {
    switch (level) {
    case Level::Ok: return L"OK    ";
    case Level::Warn: return L"WARN  ";
    case Level::Fail: return L"FAIL  ";
    }
    return L"?     ";
}

}  // namespace

ReportCounts Count(const std::vector<ReportSection>& sections) {
    ReportCounts counts;
    for (const auto& section : sections) {
        for (const auto& line : section.Lines()) {
            switch (line.level) {
            case Level::Ok: ++counts.ok; break;
            case Level::Warn: ++counts.warn; break;
            case Level::Fail: ++counts.fail; break;
            }
        }
    }
    return counts;
}

int ExitCodeOf(const ReportCounts& counts) {
    if (counts.fail > 0) return kExitFailures;
    if (counts.warn > 0) return kExitWarnings;
    return kExitAllOk;
}

std::wstring RenderReport(Language language, const std::vector<std::wstring>& heading, const std::vector<ReportSection>& sections) {
    std::wstring text;
    for (const auto& line : heading) text += line + kNewLine;
    for (const auto& section : sections) {
        text += kNewLine;
        text += section.Title() + kNewLine;
        for (const auto& line : section.Lines()) {
            text += Tag(line.level) + line.fact + kNewLine;
            // The first thing to do, under the fact it answers.
            if (!line.action.empty()) text += L"      -> " + line.action + kNewLine;
        }
    }
    const ReportCounts counts = Count(sections);
    text += kNewLine;
    text += Say(language, TextId::Summary,
                {std::to_wstring(counts.ok), std::to_wstring(counts.warn), std::to_wstring(counts.fail),
                 std::to_wstring(ExitCodeOf(counts))}) +
            kNewLine;
    return text;
}

}  // namespace kavrel::diag
