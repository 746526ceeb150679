// The report's common words: times, sizes and names as it shows them, and a TWAIN step's answer
// (StepAnswer) in words. Plain C++, built and tested natively as the checks' wording is.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tools/kvrdiag/report.h"

namespace kavrel::diag {

// "0.42 s" ("0,42 с")
std::wstring Seconds(Language language, double seconds);
// "30 s": a limit in whole seconds
std::wstring WholeSeconds(Language language, std::chrono::milliseconds limit);
// "1 234 567 bytes" (groups of three parted by spaces, readable in any code page)
std::wstring Bytes(Language language, unsigned long long bytes);
// A name in double quotes.
std::wstring Quoted(const std::wstring& text);
// ASCII text (TWAIN's code names) as wide characters.
std::wstring Widened(const std::string& ascii);

// What a call of one of the module's script functions did, as the host stand-in saw it.
struct ScriptCallFacts {
    std::optional<int> result;           // what it wrote into its answer argument
    std::vector<std::wstring> messages;  // the operator's messages it sent
    std::vector<std::wstring> faults;    // boundary misbehaviour the host stand-in noticed
};

// What one call of the module's TWAIN exports answered (twain_steps.h makes them).
struct StepAnswer {
    int returned = 0;
    std::optional<int> resultCode;     // TWAIN_GetResultCode right after a call that sends triplets
    std::optional<int> conditionCode;  // asked of the manager or source when the state lets it be
    int state = 0;                     // TWAIN_State after the call
    double seconds = 0;                // the call itself
};

// "TWAIN_OpenSourceManager = 1: TWRC_SUCCESS, TWCC_SUCCESS, state 3, 0.02 s"
std::wstring StepFact(Language language, const wchar_t* name, const StepAnswer& answer);
// "TWRC_FAILURE, TWCC_NODS"; "no triplet" without a result code
std::wstring CodesText(Language language, std::optional<int> resultCode, std::optional<int> conditionCode);

// A FAIL line for a TWAIN step that did not come back; the TWAIN checks end there.
void ReportHang(ReportSection& section, const std::wstring& what, std::chrono::milliseconds limit);
// A FAIL line for a check that found no window to give the TWAIN manager.
void ReportNoManagerWindow(ReportSection& section);

}  // namespace kavrel::diag
