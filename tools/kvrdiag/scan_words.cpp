#include "tools/kvrdiag/scan_words.h"

#include "base/operator_messages.h"

namespace kavrel::diag {

namespace {

constexpr wchar_t kSeeSection3[] = L"see section 3 for the manager and its sources";
constexpr wchar_t kReinstall[] = L"install Kavrel.dll from the release archive again";

// kvrscan's answers and what each tells IT to do.
const wchar_t* KvrscanAction(int result) {
    switch (result) {
    case 4: return kSeeSection3;
    case 3: return L"check the user's TEMP folder";
    case 2:
        return L"choose the scanner in the selection dialog and press OK; if it lists none, see section 3";
    default: return L"see the steps below";
    }
}

}  // namespace

const ScanLink kScanChain[6] = {
    {L"TWAIN_LoadSourceManager", L": the manager does not load; kvrscan answers 4", kNoTwainDeviceMessage.wide,
     kSeeSection3},
    {L"TWAIN_OpenSourceManager", L": the manager does not open; kvrscan answers 2", kNoSourceChosenMessage.wide,
     kSeeSection3},
    {L"TWAIN_OpenDefaultSource", L": the default source does not open; kvrscan answers 1", kNotConnectedMessage.wide,
     L"switch the scanner on and connect it, close any other program using it; choose it once in kvrscan's "
     L"selection dialog"},
    // kvrscan asks for one page; a source that ignores the count is stopped after it all the same.
    {L"TWAIN_NegotiateXferCount(1)", L"", L"", L"", true},
    {L"TWAIN_NegotiatePixelTypes(0)", L": the library refuses to go on; kvrscan answers 1", kNotConnectedMessage.wide,
     L"install Kavrel.dll from the release archive again"},
    {L"TWAIN_EnableSource", L": the source refuses to start a scan; kvrscan answers 1", kNotConnectedMessage.wide,
     L"check the scanner (lid, paper, lamp) in its own program; reinstall its TWAIN driver"},
};

const wchar_t* const kScanClosing[4] = {L"TWAIN_DisableSource", L"TWAIN_CloseSource", L"TWAIN_CloseSourceManager",
                                        L"TWAIN_UnloadSourceManager"};

void ReportScanNotPossible(ReportSection& section) {
    section.Fail(L"the scan cannot be tried: the module's kvrscan or its TWAIN library is not there (section 1)",
                 L"see section 1");
}

void ReportNoScanFolder(const std::wstring& error, ReportSection& section) {
    section.Fail(L"no temporary folder for the scan can be made: " + error,
                 L"check that the user's TEMP folder exists and can be written");
}

void ReportKvrscanNotRegistered(ReportSection& section) {
    section.Fail(L"kvrscan is not registered (section 1)", L"see section 1");
}

AfterKvrscan ReportKvrscan(const KvrscanFacts& kvrscan, const std::wstring& file, std::chrono::milliseconds limit,
                           ReportSection& section) {
    std::wstring fact = L"kvrscan = " + (kvrscan.result ? std::to_wstring(*kvrscan.result) : std::wstring(L"nothing")) +
                        L" after " + Seconds(kvrscan.seconds);
    for (const auto& message : kvrscan.messages) fact += L", " + Quoted(message);
    for (const auto& fault : kvrscan.faults) fact += L"; " + fault;
    const bool saved = kvrscan.result == 0 && kvrscan.faults.empty();
    if (saved) {
        section.Ok(fact + L": the scanner chosen in the selection dialog, the page scanned in its window, saved as " + file);
        // An answer of 0 is a signature on file: the file must be there and be a picture.
        return AfterKvrscan::ReadBack;
    }
    if (kvrscan.interrupted) {
        section.Fail(fact + L": it had not ended in " + WholeSeconds(limit) + L" and was told to quit (WM_QUIT)",
                     L"choose the scanner and scan the page within that time, or give --timeout more seconds");
    } else if (!kvrscan.result || !kvrscan.faults.empty()) {
        section.Fail(fact + L": not the one answer the interpreter expects", kReinstall);
    } else if (kvrscan.transfers > 0) {
        // The page came: what failed is the saving, as it would into the signature directory.
        section.Fail(fact + L": the source delivered " + std::to_wstring(kvrscan.transfers) +
                         L" image(s), and saving the page as a JPEG failed",
                     L"check the free space of the user's TEMP drive and the rights to write there");
        return AfterKvrscan::Nothing;
    } else {
        section.Fail(fact, KvrscanAction(*kvrscan.result));
    }
    // Without a manager (answer 4) there are no steps to take: section 3 has said why.
    return kvrscan.result == 4 ? AfterKvrscan::Nothing : AfterKvrscan::TakeSteps;
}

void ReportStepsBegin(ReportSection& section) {
    section.Ok(L"kvrscan's steps one by one, the source asked to scan without its window (TWAIN_SetHideUI(1)); "
               L"TWAIN_ClearDibList");
}

bool ReportChainStep(const ScanLink& link, const StepAnswer& answer, ReportSection& section) {
    if (!answer.returned && link.answerIgnored) {
        section.Ok(StepFact(link.name, answer) + L": refused; kvrscan goes on, and the library takes one page");
        return true;
    }
    if (!answer.returned) {
        section.Fail(StepFact(link.name, answer) + link.meaning + L" " + Quoted(link.operatorMessage), link.action);
        return false;
    }
    section.Ok(StepFact(link.name, answer));
    return true;
}

void ReportModalLoop(const StepAnswer& loop, bool interrupted, std::chrono::milliseconds loopLimit,
                     ReportSection& section) {
    const std::wstring fact = L"TWAIN_ModalEventLoop ended after " + Seconds(loop.seconds) + L" with " +
                              std::to_wstring(loop.returned) + L" image(s): " +
                              CodesText(loop.resultCode, loop.conditionCode) + L", state " + std::to_wstring(loop.state);
    if (interrupted) {
        section.Fail(fact + L"; no image came in " + WholeSeconds(loopLimit) + L", and the loop was ended with WM_QUIT",
                     L"put a page on the scanner's glass or in its feeder, and check the scanner in its own program");
    } else {
        section.Ok(fact);
    }
}

void ReportClosingStep(const wchar_t* name, const StepAnswer& answer, ReportSection& section) {
    if (answer.returned) {
        section.Ok(StepFact(name, answer));
    } else {
        section.Warn(StepFact(name, answer) + L": the library cannot step back here",
                     L"update the scanner's TWAIN driver; until then restart the interpreter after a failed scan");
    }
}

void ReportImages(const FirstImage& image, bool enabled, ReportSection& section) {
    if (image.count == 0) {
        // A chain that stopped early has said why already.
        if (enabled) {
            section.Fail(L"TWAIN_GetNumDibs = 0: no image arrived; kvrscan answers 1 " + Quoted(kNotConnectedMessage.wide),
                         L"scan a page in the scanner's own program; if that works, reinstall its TWAIN driver");
        }
        return;
    }
    section.Ok(L"TWAIN_GetNumDibs = " + std::to_wstring(image.count) + L"; TWAIN_GetDib(0): " +
               std::to_wstring(image.width) + L" x " + std::to_wstring(image.height) + L" pixels, " +
               std::to_wstring(image.depth) + L" bits a pixel");
    section.Warn(L"with its window hidden the source scans: kvrscan fails in the source selection or in the "
                 L"source's own window",
                 L"scan a page in the scanner's own program with its window shown; update its TWAIN driver");
}

bool ReportReadBack(const ReadBack& back, const std::wstring& file, ReportSection& section) {
    if (!back.read) {
        section.Fail(L"the saved file " + file + L" is no readable JPEG: " + back.error, kReinstall);
        return false;
    }
    section.Ok(L"read back: a JPEG of " + Bytes(back.bytes) + L", " + std::to_wstring(back.width) + L" x " +
               std::to_wstring(back.height) + L" pixels");
    return true;
}

void ReportScanCleanup(ScanCleanup cleanup, const std::wstring& file, const std::wstring& error, ReportSection& section) {
    switch (cleanup) {
    case ScanCleanup::Kept: section.Ok(L"kept: " + file); break;
    case ScanCleanup::Deleted: section.Ok(L"the file and its temporary folder are deleted again"); break;
    case ScanCleanup::Left:
        section.Warn(L"the temporary folder of the scan could not be deleted: " + error,
                     L"delete " + file + L" and its folder by hand");
        break;
    }
}

}  // namespace kavrel::diag
