#include "tools/kvrdiag/twain_words.h"

#include "base/operator_messages.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {

bool ReportAvailable(const ManagerFile& manager, const StepAnswer& available, ReportSection& section) {
    const std::wstring size = Bytes(section.Lang(), manager.size);
    if (!available.returned) {
        const std::wstring why = manager.exists ? section.Say(TextId::ManagerDoesNotLoad, {manager.path, size, manager.version})
                                                : section.Say(TextId::ManagerMissing, {manager.path});
        section.Fail(section.Say(TextId::NotAvailable, {why, Quoted(kNoTwainDeviceMessage.wide)}),
                     section.Say(TextId::InstallManager));
        return false;
    }
    section.Ok(section.Say(TextId::ManagerAvailable, {manager.path, manager.version, size}));
    return true;
}

bool ReportManagerLoaded(const StepAnswer& loaded, ReportSection& section) {
    const std::wstring fact = StepFact(section.Lang(), L"TWAIN_LoadSourceManager", loaded);
    if (!loaded.returned) {
        section.Fail(section.Say(TextId::ManagerNotLoaded, {fact}), section.Say(TextId::InstallManager));
        return false;
    }
    section.Ok(fact);
    return true;
}

bool ReportManagerOpened(const StepAnswer& opened, ReportSection& section) {
    const std::wstring fact = StepFact(section.Lang(), L"TWAIN_OpenSourceManager", opened);
    if (!opened.returned) {
        section.Fail(section.Say(TextId::ManagerNotOpened, {fact, Quoted(kNoSourceChosenMessage.wide)}),
                     section.Say(TextId::ManagerNotOpenedAction));
        return false;
    }
    section.Ok(fact);
    return true;
}

std::wstring ListingStep(int index) {
    return index == 0 ? L"DAT_IDENTITY / MSG_GETFIRST" : L"DAT_IDENTITY / MSG_GETNEXT";
}

void ReportListingEnd(int index, const StepAnswer& listed, ReportSection& section) {
    if (listed.resultCode == twain::TWRC_ENDOFLIST) return;
    section.Warn(section.Say(TextId::ListingStops,
                             {ListingStep(index), CodesText(section.Lang(), listed.resultCode, listed.conditionCode)}),
                 section.Say(TextId::ListingStopsAction));
}

void ReportSource(std::size_t number, const SourceIdentity& id, ReportSection& section) {
    section.Ok(section.Say(TextId::SourceListed,
                           {std::to_wstring(number), Quoted(id.productName), Quoted(id.manufacturer),
                            Quoted(id.productFamily), std::to_wstring(id.majorNum) + L"." + std::to_wstring(id.minorNum),
                            Quoted(id.versionInfo),
                            std::to_wstring(id.protocolMajor) + L"." + std::to_wstring(id.protocolMinor)}));
}

void ReportNoSource(ReportSection& section) {
    section.Fail(section.Say(TextId::NoSource, {Quoted(kNoSourceChosenMessage.wide)}), section.Say(TextId::NoSourceAction));
}

void ReportDefaultSource(const StepAnswer& answer, const std::wstring& defaultName, ReportSection& section) {
    if (answer.returned) {
        section.Ok(section.Say(TextId::DefaultSource, {Quoted(defaultName)}));
    } else {
        section.Warn(section.Say(TextId::NoDefaultSource, {CodesText(section.Lang(), answer.resultCode, answer.conditionCode)}),
                     section.Say(TextId::NoDefaultSourceAction));
    }
}

void ReportManagerClosed(const StepAnswer& closed, const StepAnswer& unloaded, ReportSection& section) {
    const std::wstring fact = StepFact(section.Lang(), L"TWAIN_CloseSourceManager", closed) + L"; " +
                              StepFact(section.Lang(), L"TWAIN_UnloadSourceManager", unloaded);
    if (unloaded.state == 1) {
        section.Ok(fact);
    } else {
        section.Warn(section.Say(TextId::NotBackToState1, {fact}), section.Say(TextId::NotBackToState1Action));
    }
}

}  // namespace kavrel::diag
