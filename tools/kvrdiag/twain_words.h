// 3. TWAIN's report lines, from what twain_check.cpp found: the manager's file, the module's
// TWAIN library's steps with it, the sources it lists. Each function words one finding; those
// answering bool say whether the check goes on after it. Plain C++ (tested natively).
#pragma once

#include <string>

#include "tools/kvrdiag/report.h"
#include "tools/kvrdiag/words.h"

namespace kavrel::diag {

// The manager's file where the TWAIN library looks for it.
struct ManagerFile {
    std::wstring path;
    bool exists = false;
    unsigned long long size = 0;
    std::wstring version;  // as file_facts.h words it
};

// A source as the manager lists it (its TW_IDENTITY, its texts from the ANSI code page).
struct SourceIdentity {
    std::wstring productName;
    std::wstring manufacturer;
    std::wstring productFamily;
    std::wstring versionInfo;
    int majorNum = 0;
    int minorNum = 0;
    int protocolMajor = 0;
    int protocolMinor = 0;
};

// TWAIN_IsAvailable: true when the manager loads.
bool ReportAvailable(const ManagerFile& manager, const StepAnswer& available, ReportSection& section);
// TWAIN_LoadSourceManager and TWAIN_OpenSourceManager: true when they succeed; after a failure
// the manager is closed again (ReportManagerClosed).
bool ReportManagerLoaded(const StepAnswer& loaded, ReportSection& section);
bool ReportManagerOpened(const StepAnswer& opened, ReportSection& section);
// The listing's step `index` (0: MSG_GETFIRST, then MSG_GETNEXT) as the hang names it.
std::wstring ListingStep(int index);
// A refusal that ends the listing: a WARN unless it is the end of the list.
void ReportListingEnd(int index, const StepAnswer& listed, ReportSection& section);
// Source number `number` (from 1).
void ReportSource(std::size_t number, const SourceIdentity& source, ReportSection& section);
// After the listing: none listed (a FAIL), else MSG_GETDEFAULT's answer (`defaultName` when it
// names one).
void ReportNoSource(ReportSection& section);
void ReportDefaultSource(const StepAnswer& answer, const std::wstring& defaultName, ReportSection& section);
// The closing steps, and whether the library got back to state 1.
void ReportManagerClosed(const StepAnswer& closed, const StepAnswer& unloaded, ReportSection& section);

}  // namespace kavrel::diag
