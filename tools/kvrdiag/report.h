// The report kvrdiag prints: numbered sections of lines, each OK, WARN or FAIL with the fact it
// found, and for WARN and FAIL the first thing to do about it. Plain C++ (UTF-16 text); writing
// it to the console or a file is report_output.h's.
#pragma once

#include <string>
#include <vector>

#include "tools/kvrdiag/texts.h"

namespace kavrel::diag {

enum class Level { Ok, Warn, Fail };

struct ReportLine {
    Level level = Level::Ok;
    std::wstring fact;
    std::wstring action;  // WARN and FAIL only
};

class ReportSection {
public:
    ReportSection(Language language, std::wstring title) : language_(language), title_(std::move(title)) {}

    void Ok(std::wstring fact) { lines_.push_back({Level::Ok, std::move(fact), {}}); }
    void Warn(std::wstring fact, std::wstring action) { lines_.push_back({Level::Warn, std::move(fact), std::move(action)}); }
    void Fail(std::wstring fact, std::wstring action) { lines_.push_back({Level::Fail, std::move(fact), std::move(action)}); }

    // The section's language, and a text of the table in it.
    Language Lang() const { return language_; }
    std::wstring Say(TextId id, std::initializer_list<std::wstring> values = {}) const {
        return diag::Say(language_, id, values);
    }
    const std::wstring& Title() const { return title_; }
    const std::vector<ReportLine>& Lines() const { return lines_; }

private:
    Language language_;
    std::wstring title_;
    std::vector<ReportLine> lines_;
};

// Exit codes: 0 every line OK, 1 some WARN, 2 some FAIL; 3 is the program's own (bad arguments).
constexpr int kExitAllOk = 0;
constexpr int kExitWarnings = 1;
constexpr int kExitFailures = 2;
constexpr int kExitCannotRun = 3;

struct ReportCounts {
    int ok = 0;
    int warn = 0;
    int fail = 0;
};

ReportCounts Count(const std::vector<ReportSection>& sections);
int ExitCodeOf(const ReportCounts& counts);

// The whole report: `heading` lines, the sections in the order given, a summary in `language`.
// Lines end in "\r\n".
std::wstring RenderReport(Language language, const std::vector<std::wstring>& heading, const std::vector<ReportSection>& sections);

}  // namespace kavrel::diag
