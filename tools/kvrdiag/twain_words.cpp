#include "tools/kvrdiag/twain_words.h"

#include "base/operator_messages.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {

namespace {

constexpr wchar_t kInstallManager[] =
    L"install the scanner's TWAIN driver (32-bit), which brings the TWAIN manager TWAIN_32.DLL into the Windows folder";

}  // namespace

void ReportManagerPathTooLong(const std::wstring& windowsDirectory, ReportSection& section) {
    section.Fail(L"the Windows folder's path " + Quoted(windowsDirectory) +
                     L" is too long for the TWAIN library to find its manager there",
                 L"the TWAIN library looks for TWAIN_32.DLL only in the Windows folder, within 128 characters");
}

void ReportNoTwainLibrary(ReportSection& section) {
    section.Fail(L"the TWAIN manager cannot be tried: the module's TWAIN library is not there (section 1)",
                 L"see section 1");
}

bool ReportAvailable(const ManagerFile& manager, const StepAnswer& available, ReportSection& section) {
    if (!available.returned) {
        const std::wstring why = manager.exists ? manager.path + L" is there (" + Bytes(manager.size) + L", version " +
                                                      manager.version +
                                                      L") but does not load as a 32-bit TWAIN manager with DSM_Entry"
                                                : L"no TWAIN manager: " + manager.path + L" does not exist";
        section.Fail(L"TWAIN_IsAvailable = 0: " + why + L"; kvrscan answers 4 " + Quoted(kNoTwainDeviceMessage.wide),
                     kInstallManager);
        return false;
    }
    section.Ok(L"manager " + manager.path + L": version " + manager.version + L", " + Bytes(manager.size) +
               L"; TWAIN_IsAvailable = 1");
    return true;
}

bool ReportManagerLoaded(const StepAnswer& loaded, ReportSection& section) {
    if (!loaded.returned) {
        section.Fail(StepFact(L"TWAIN_LoadSourceManager", loaded) + L": the manager does not load", kInstallManager);
        return false;
    }
    section.Ok(StepFact(L"TWAIN_LoadSourceManager", loaded));
    return true;
}

bool ReportManagerOpened(const StepAnswer& opened, ReportSection& section) {
    if (!opened.returned) {
        section.Fail(StepFact(L"TWAIN_OpenSourceManager", opened) +
                         L": the manager does not open; kvrscan shows \"Unable to open Source Manager\" and answers 2 " +
                         Quoted(kNoSourceChosenMessage.wide),
                     L"reinstall the scanner's TWAIN driver; restart Windows if another program holds the manager");
        return false;
    }
    section.Ok(StepFact(L"TWAIN_OpenSourceManager", opened));
    return true;
}

std::wstring ListingStep(int index) {
    return index == 0 ? L"DAT_IDENTITY / MSG_GETFIRST" : L"DAT_IDENTITY / MSG_GETNEXT";
}

void ReportListingEnd(int index, const StepAnswer& listed, ReportSection& section) {
    if (listed.resultCode == twain::TWRC_ENDOFLIST) return;
    section.Warn(L"TWAIN_Mgr " + ListingStep(index) + L" = 0: " + CodesText(listed.resultCode, listed.conditionCode) +
                     L"; the listing stops here",
                 L"reinstall the TWAIN drivers of the sources that follow in the selection dialog");
}

void ReportSource(std::size_t number, const SourceIdentity& id, ReportSection& section) {
    section.Ok(L"source " + std::to_wstring(number) + L": " + Quoted(id.productName) + L", made by " +
               Quoted(id.manufacturer) + L", family " + Quoted(id.productFamily) + L", version " +
               std::to_wstring(id.majorNum) + L"." + std::to_wstring(id.minorNum) + L" (" + Quoted(id.versionInfo) +
               L"), TWAIN protocol " + std::to_wstring(id.protocolMajor) + L"." + std::to_wstring(id.protocolMinor));
}

void ReportNoSource(ReportSection& section) {
    section.Fail(L"the manager lists no source: kvrscan's selection is empty, and kvrscan answers 2 " +
                     Quoted(kNoSourceChosenMessage.wide),
                 L"install the scanner's TWAIN driver (a 32-bit one: the interpreter is a 32-bit program)");
}

void ReportDefaultSource(const StepAnswer& answer, const std::wstring& defaultName, ReportSection& section) {
    if (answer.returned) {
        section.Ok(L"default source: " + Quoted(defaultName));
    } else {
        section.Warn(L"the manager names no default source (" + CodesText(answer.resultCode, answer.conditionCode) +
                         L"): until the operator chooses one, a scan opens none",
                     L"choose the scanner once in kvrscan's selection dialog");
    }
}

void ReportManagerClosed(const StepAnswer& closed, const StepAnswer& unloaded, ReportSection& section) {
    const std::wstring fact =
        StepFact(L"TWAIN_CloseSourceManager", closed) + L"; " + StepFact(L"TWAIN_UnloadSourceManager", unloaded);
    if (unloaded.state == 1) {
        section.Ok(fact);
    } else {
        section.Warn(fact + L": the library did not get back to state 1",
                     L"restart the interpreter before the next scan; update the scanner's driver");
    }
}

}  // namespace kavrel::diag
