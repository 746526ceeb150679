// 6. One scan's report lines, from what scan_check.cpp found: kvrscan's answer, and when it did
// not save, its steps taken one by one; when it saved, the file read back. Each function words
// one finding. Plain C++ (tested natively).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tools/kvrdiag/report.h"
#include "tools/kvrdiag/words.h"

namespace kavrel::diag {

// What kvrscan did (its answer in its argument 2).
struct KvrscanFacts : ScriptCallFacts {
    double seconds = 0;
    int transfers = 0;         // images the source delivered meanwhile
    bool interrupted = false;  // it had not ended within its limit and was told to quit
};

// What follows kvrscan's answer.
enum class AfterKvrscan {
    Nothing,   // said all there is (no manager, or the saving failed after the page came)
    TakeSteps, // its steps one by one, to tell where it fails
    ReadBack,  // the file it saved, read back
};

// `file` is where it saves; `limit` what it was given before it was told to quit.
AfterKvrscan ReportKvrscan(const KvrscanFacts& kvrscan, const std::wstring& file, std::chrono::milliseconds limit,
                           ReportSection& section);

// kvrscan's steps, one by one.
struct ScanLink {
    const wchar_t* name;
    TextId meaning;                  // what a failure means for kvrscan (passed over: what it does then)
    const wchar_t* operatorMessage;  // and what the operator then reads
    TextId action;
    // A refusal that kvrscan passes over: the step is reported as it went, and the chain goes on.
    bool answerIgnored = false;
};
// In TWAIN_AcquireNative's order, up to the source enabled; then its closing steps' names.
extern const ScanLink kScanChain[6];
extern const wchar_t* const kScanClosing[4];

// One step of kvrScanChain: true when the chain goes on.
bool ReportChainStep(const ScanLink& link, const StepAnswer& answer, ReportSection& section);
// TWAIN_ModalEventLoop, given `loopLimit` before it was told to quit.
void ReportModalLoop(const StepAnswer& loop, bool interrupted, std::chrono::milliseconds loopLimit,
                     ReportSection& section);
void ReportClosingStep(const wchar_t* name, const StepAnswer& answer, ReportSection& section);

struct FirstImage {
    int count = 0;  // images the library holds
    int width = 0;
    int height = 0;
    int depth = 0;
};
// The images after the steps (`enabled`: the chain came as far as the scan).
void ReportImages(const FirstImage& image, bool enabled, ReportSection& section);

// The saved file read back as the viewer reads it.
struct ReadBack {
    bool read = false;
    unsigned long long bytes = 0;
    int width = 0;
    int height = 0;
    std::wstring error;
};
// True when it is a readable JPEG.
bool ReportReadBack(const ReadBack& back, const std::wstring& file, ReportSection& section);
// What became of it: kept (--keep), deleted with its folder, or left behind (`error`).
enum class ScanCleanup { Kept, Deleted, Left };
void ReportScanCleanup(ScanCleanup cleanup, const std::wstring& file, const std::wstring& error, ReportSection& section);

}  // namespace kavrel::diag
