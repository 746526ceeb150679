#include "tools/kvrdiag/scan_words.h"

#include "base/operator_messages.h"

namespace kavrel::diag {

namespace {

// kvrscan's answers and what each tells IT to do.
TextId KvrscanAction(int result) {
    switch (result) {
    case 4: return TextId::SeeSection3;
    case 3: return TextId::CheckTemp;
    case 2: return TextId::ChooseScannerAndPressOk;
    default: return TextId::SeeStepsBelow;
    }
}

}  // namespace

const ScanLink kScanChain[6] = {
    {L"TWAIN_LoadSourceManager", TextId::ChainManagerNotLoaded, kNoTwainDeviceMessage.wide, TextId::SeeSection3},
    {L"TWAIN_OpenSourceManager", TextId::ChainManagerNotOpened, kNoSourceChosenMessage.wide, TextId::SeeSection3},
    {L"TWAIN_OpenDefaultSource", TextId::ChainSourceNotOpened, kNotConnectedMessage.wide, TextId::ChainSourceNotOpenedAction},
    // kvrscan asks for one page; a source that ignores the count is stopped after it all the same.
    {L"TWAIN_NegotiateXferCount(1)", TextId::ChainCountRefused, L"", TextId::ReinstallModule, true},
    {L"TWAIN_NegotiatePixelTypes(0)", TextId::ChainLibraryRefuses, kNotConnectedMessage.wide, TextId::ReinstallModule},
    {L"TWAIN_EnableSource", TextId::ChainNotEnabled, kNotConnectedMessage.wide, TextId::ChainNotEnabledAction},
};

const wchar_t* const kScanClosing[4] = {L"TWAIN_DisableSource", L"TWAIN_CloseSource", L"TWAIN_CloseSourceManager",
                                        L"TWAIN_UnloadSourceManager"};

AfterKvrscan ReportKvrscan(const KvrscanFacts& kvrscan, const std::wstring& file, std::chrono::milliseconds limit,
                           ReportSection& section) {
    const Language language = section.Lang();
    std::wstring fact = section.Say(TextId::KvrscanAnswer, {kvrscan.result ? std::to_wstring(*kvrscan.result)
                                                                           : section.Say(TextId::Nothing),
                                                            Seconds(language, kvrscan.seconds)});
    for (const auto& message : kvrscan.messages) fact += L", " + Quoted(message);
    for (const auto& fault : kvrscan.faults) fact += L"; " + fault;
    const bool saved = kvrscan.result == 0 && kvrscan.faults.empty();
    if (saved) {
        section.Ok(section.Say(TextId::KvrscanSaved, {fact, file}));
        // An answer of 0 is a signature on file: the file must be there and be a picture.
        return AfterKvrscan::ReadBack;
    }
    if (kvrscan.interrupted) {
        section.Fail(section.Say(TextId::KvrscanInterrupted, {fact, WholeSeconds(language, limit)}),
                     section.Say(TextId::KvrscanInterruptedAction));
    } else if (!kvrscan.result || !kvrscan.faults.empty()) {
        section.Fail(section.Say(TextId::KvrscanUnexpected, {fact}), section.Say(TextId::ReinstallModule));
    } else if (kvrscan.transfers > 0) {
        // The page came: what failed is the saving, as it would into the signature directory.
        section.Fail(section.Say(TextId::KvrscanNotSaved, {fact, std::to_wstring(kvrscan.transfers)}),
                     section.Say(TextId::KvrscanNotSavedAction));
        return AfterKvrscan::Nothing;
    } else {
        section.Fail(fact, section.Say(KvrscanAction(*kvrscan.result)));
    }
    // Without a manager (answer 4) there are no steps to take: section 3 has said why.
    return kvrscan.result == 4 ? AfterKvrscan::Nothing : AfterKvrscan::TakeSteps;
}

bool ReportChainStep(const ScanLink& link, const StepAnswer& answer, ReportSection& section) {
    const std::wstring fact = StepFact(section.Lang(), link.name, answer);
    if (!answer.returned && link.answerIgnored) {
        section.Ok(section.Say(link.meaning, {fact}));
        return true;
    }
    if (!answer.returned) {
        section.Fail(section.Say(link.meaning, {fact, Quoted(link.operatorMessage)}), section.Say(link.action));
        return false;
    }
    section.Ok(fact);
    return true;
}

void ReportModalLoop(const StepAnswer& loop, bool interrupted, std::chrono::milliseconds loopLimit,
                     ReportSection& section) {
    const Language language = section.Lang();
    const std::wstring fact =
        section.Say(TextId::LoopEnded, {Seconds(language, loop.seconds), std::to_wstring(loop.returned),
                                        CodesText(language, loop.resultCode, loop.conditionCode),
                                        std::to_wstring(loop.state)});
    if (interrupted) {
        section.Fail(section.Say(TextId::LoopInterrupted, {fact, WholeSeconds(language, loopLimit)}),
                     section.Say(TextId::LoopInterruptedAction));
    } else {
        section.Ok(fact);
    }
}

void ReportClosingStep(const wchar_t* name, const StepAnswer& answer, ReportSection& section) {
    const std::wstring fact = StepFact(section.Lang(), name, answer);
    if (answer.returned) {
        section.Ok(fact);
    } else {
        section.Warn(section.Say(TextId::CannotStepBack, {fact}), section.Say(TextId::UpdateDriverRestartInterpreter));
    }
}

void ReportImages(const FirstImage& image, bool enabled, ReportSection& section) {
    if (image.count == 0) {
        // A chain that stopped early has said why already.
        if (enabled) {
            section.Fail(section.Say(TextId::NoImage, {Quoted(kNotConnectedMessage.wide)}),
                         section.Say(TextId::NoImageAction));
        }
        return;
    }
    section.Ok(section.Say(TextId::ImagesArrived, {std::to_wstring(image.count), std::to_wstring(image.width),
                                                   std::to_wstring(image.height), std::to_wstring(image.depth)}));
    section.Warn(section.Say(TextId::HiddenScanWorks), section.Say(TextId::HiddenScanWorksAction));
}

bool ReportReadBack(const ReadBack& back, const std::wstring& file, ReportSection& section) {
    if (!back.read) {
        section.Fail(section.Say(TextId::SavedNotJpeg, {file, back.error}), section.Say(TextId::ReinstallModule));
        return false;
    }
    section.Ok(section.Say(TextId::ReadBack, {Bytes(section.Lang(), back.bytes), std::to_wstring(back.width),
                                              std::to_wstring(back.height)}));
    return true;
}

void ReportScanCleanup(ScanCleanup cleanup, const std::wstring& file, const std::wstring& error, ReportSection& section) {
    switch (cleanup) {
    case ScanCleanup::Kept: section.Ok(section.Say(TextId::ScanKept, {file})); break;
    case ScanCleanup::Deleted: section.Ok(section.Say(TextId::ScanDeleted)); break;
    case ScanCleanup::Left:
        section.Warn(section.Say(TextId::ScanLeft, {error}), section.Say(TextId::ScanLeftAction, {file}));
        break;
    }
}

}  // namespace kavrel::diag
