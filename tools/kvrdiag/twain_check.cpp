// 3. TWAIN: the asking; the words are twain_words.h's.
#include <windows.h>

#include <cstring>

#include "base/windows_directory.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/file_facts.h"
#include "tools/kvrdiag/text.h"
#include "tools/kvrdiag/twain_steps.h"
#include "tools/kvrdiag/twain_words.h"
#include "twain/dsm_path.h"

namespace kavrel::diag {

using namespace twain;

namespace {

// A manager that keeps answering "next" is not believed beyond this.
constexpr int kMostSources = 64;

// Steps the library back from wherever it is to state 1, as TWAIN_AcquireNative's closing steps
// do, and destroys the manager's window.
void CloseManager(TwainSteps& steps, ReportSection& section) {
    const auto closed = steps.Step([](const TwainExports& api, HWND window) { return api.TWAIN_CloseSourceManager(window); }, 3);
    if (!closed) return ReportHang(section, L"TWAIN_CloseSourceManager", steps.Limit());
    const auto unloaded = steps.Step([](const TwainExports& api, HWND) { return api.TWAIN_UnloadSourceManager(); },
                                    TwainSteps::kSendsNoTriplet);
    if (!unloaded) return ReportHang(section, L"TWAIN_UnloadSourceManager", steps.Limit());
    steps.CloseWindow();
    ReportManagerClosed(*closed, *unloaded, section);
}

// TWAIN_IsAvailable, then the manager loaded and opened through the library, and the sources it
// lists to the selection dialog (into `found`). A step that does not come back ends the check.
void OpenAndList(TwainSteps& steps, const ManagerFile& manager, const std::string& managerPath, ManagerFound& found,
                 ReportSection& section) {
    const auto available = steps.Step([](const TwainExports& api, HWND) { return api.TWAIN_IsAvailable(); },
                                      TwainSteps::kSendsNoTriplet);
    if (!available) return ReportHang(section, section.Say(TextId::IsAvailableLoading, {manager.path}), steps.Limit());
    if (!ReportAvailable(manager, *available, section)) return;

    if (!steps.OpenWindow()) return ReportNoManagerWindow(section);
    const auto loaded = steps.Step([](const TwainExports& api, HWND) { return api.TWAIN_LoadSourceManager(); },
                                   TwainSteps::kSendsNoTriplet);
    if (!loaded) return ReportHang(section, L"TWAIN_LoadSourceManager", steps.Limit());
    if (!ReportManagerLoaded(*loaded, section)) return CloseManager(steps, section);
    const auto opened = steps.Step([](const TwainExports& api, HWND window) { return api.TWAIN_OpenSourceManager(window); });
    if (!opened) return ReportHang(section, L"TWAIN_OpenSourceManager (MSG_OPENDSM)", steps.Limit());
    if (!ReportManagerOpened(*opened, section)) return CloseManager(steps, section);
    found.path = managerPath;

    for (int i = 0; i < kMostSources; ++i) {
        auto identity = std::make_shared<TW_IDENTITY>();
        const TW_UINT16 message = i == 0 ? MSG_GETFIRST : MSG_GETNEXT;
        const auto listed = steps.Step([identity, message](const TwainExports& api, HWND) {
            return api.TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, message, identity.get());
        });
        if (!listed) return ReportHang(section, section.Say(TextId::ListingHang, {ListingStep(i)}), steps.Limit());
        if (!listed->returned) {
            ReportListingEnd(i, *listed, section);
            break;
        }
        found.sources.push_back(*identity);
        const TW_IDENTITY& id = *identity;
        ReportSource(found.sources.size(),
                     {IdentityText(id.ProductName), IdentityText(id.Manufacturer), IdentityText(id.ProductFamily),
                      IdentityText(id.Version.Info), id.Version.MajorNum, id.Version.MinorNum, id.ProtocolMajor,
                      id.ProtocolMinor},
                     section);
    }
    if (found.sources.empty()) {
        ReportNoSource(section);
    } else {
        auto identity = std::make_shared<TW_IDENTITY>();
        const auto answer = steps.Step([identity](const TwainExports& api, HWND) {
            return api.TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, identity.get());
        });
        if (!answer) return ReportHang(section, L"TWAIN_Mgr DAT_IDENTITY / MSG_GETDEFAULT", steps.Limit());
        ReportDefaultSource(*answer, IdentityText(identity->ProductName), section);
    }
    CloseManager(steps, section);
}

}  // namespace

std::wstring IdentityText(const char (&field)[34]) { return FromAnsi(std::string(field, strnlen(field, sizeof field))); }

ManagerFound CheckTwain(TwainSteps* steps, ReportSection& section) {
    ManagerFound found;
    const std::string windowsDirectory = WindowsDirectory();
    const auto managerPath = twainlib::DsmPathInWindowsDirectory(windowsDirectory);
    if (!managerPath) {
        // The Windows folder's path leaves no room for the manager's within the library's buffer.
        section.Fail(section.Say(TextId::ManagerPathTooLong, {Quoted(FromAnsi(windowsDirectory))}),
                     section.Say(TextId::ManagerPathTooLongAction));
    } else if (!steps) {
        // The module did not load or lacks its TWAIN exports (section 1 says which).
        section.Fail(section.Say(TextId::NoTwainLibrary), section.Say(TextId::SeeSection1));
    } else {
        const FileFacts file = ReadFileFacts(*managerPath);
        const ManagerFile manager{FromAnsi(*managerPath), file.exists, file.size, VersionText(section.Lang(), file)};
        OpenAndList(*steps, manager, *managerPath, found, section);
    }
    return found;
}

}  // namespace kavrel::diag
