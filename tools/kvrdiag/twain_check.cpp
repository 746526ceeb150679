// 3. TWAIN: the manager in the Windows folder, whether it loads and opens through the module's
// TWAIN library, the sources it lists and its default source.
#include <windows.h>

#include <cstring>

#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/file_facts.h"
#include "tools/kvrdiag/text.h"
#include "tools/kvrdiag/twain_steps.h"
#include "twain/dsm_path.h"

namespace kavrel::diag {

using namespace twain;

const wchar_t kNoManagerMessage[] = L"В системе отсутствует TWAIN-устройство";
const wchar_t kNoDirectoryMessage[] = L"Отсутствует директория для сохранения";
const wchar_t kNotChosenMessage[] = L"TWAIN-устройство не выбрано";
const wchar_t kNotConnectedMessage[] = L"TWAIN-устройство не подключено";

namespace {

// A manager that keeps answering "next" is not believed beyond this.
constexpr int kMostSources = 64;

constexpr wchar_t kInstallManager[] =
    L"install the scanner's TWAIN driver (32-bit), which brings the TWAIN manager TWAIN_32.DLL into the Windows folder";

std::wstring IdentityText(const char (&field)[34]) { return FromAnsi(std::string(field, strnlen(field, sizeof field))); }

std::wstring SourceText(const TW_IDENTITY& id) {
    return Quoted(IdentityText(id.ProductName)) + L", made by " + Quoted(IdentityText(id.Manufacturer)) +
           L", family " + Quoted(IdentityText(id.ProductFamily)) + L", version " + std::to_wstring(id.Version.MajorNum) +
           L"." + std::to_wstring(id.Version.MinorNum) + L" (" + Quoted(IdentityText(id.Version.Info)) +
           L"), TWAIN protocol " + std::to_wstring(id.ProtocolMajor) + L"." + std::to_wstring(id.ProtocolMinor);
}

// Steps the library back from wherever it is to state 1, as TWAIN_AcquireNative's closing steps
// do, and destroys the manager's window.
void CloseManager(TwainSteps& steps, ReportSection& section) {
    const auto closed = steps.Step([](const TwainExports& api, HWND window) { return api.TWAIN_CloseSourceManager(window); }, 3);
    if (!closed) return ReportHang(section, L"TWAIN_CloseSourceManager", steps.Limit());
    const auto unloaded = steps.Step([](const TwainExports& api, HWND) { return api.TWAIN_UnloadSourceManager(); },
                                    TwainSteps::kSendsNoTriplet);
    if (!unloaded) return ReportHang(section, L"TWAIN_UnloadSourceManager", steps.Limit());
    steps.CloseWindow();
    const std::wstring fact = StepFact(L"TWAIN_CloseSourceManager", *closed) + L"; " +
                              StepFact(L"TWAIN_UnloadSourceManager", *unloaded);
    if (unloaded->state == 1) {
        section.Ok(fact);
    } else {
        section.Warn(fact + L": the library did not get back to state 1",
                     L"restart the interpreter before the next scan; update the scanner's driver");
    }
}

}  // namespace

std::vector<TW_IDENTITY> CheckTwain(TwainSteps* steps, ReportSection& section) {
    std::vector<TW_IDENTITY> sources;
    char windowsDirectory[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
    const auto managerPath = length < sizeof windowsDirectory ? twainlib::DsmPathInWindowsDirectory(windowsDirectory)
                                                              : std::nullopt;
    if (!managerPath) {
        section.Fail(L"the Windows folder's path " + Quoted(FromAnsi(windowsDirectory)) +
                         L" is too long for the TWAIN library to find its manager there",
                     L"the TWAIN library looks for TWAIN_32.DLL only in the Windows folder, within 128 characters");
        return sources;
    }
    const std::wstring shownPath = FromAnsi(*managerPath);
    const FileFacts manager = ReadFileFacts(*managerPath);
    if (!steps) {
        section.Fail(L"the TWAIN manager cannot be tried: the module's TWAIN library is not there (section 1)",
                     L"see section 1");
        return sources;
    }

    const auto available = steps->Step([](const TwainExports& api, HWND) { return api.TWAIN_IsAvailable(); },
                                        TwainSteps::kSendsNoTriplet);
    if (!available) {
        ReportHang(section, L"TWAIN_IsAvailable (loading " + shownPath + L")", steps->Limit());
        return sources;
    }
    if (!available->returned) {
        const std::wstring why = manager.exists ? shownPath + L" is there (" + Bytes(manager.size) +
                                                      L", version " + VersionText(manager) +
                                                      L") but does not load as a 32-bit TWAIN manager with DSM_Entry"
                                                : L"no TWAIN manager: " + shownPath + L" does not exist";
        section.Fail(L"TWAIN_IsAvailable = 0: " + why + L"; kvrscan answers 4 " + Quoted(kNoManagerMessage),
                     kInstallManager);
        return sources;
    }
    section.Ok(L"manager " + shownPath + L": version " + VersionText(manager) + L", " + Bytes(manager.size) +
               L"; TWAIN_IsAvailable = 1");

    if (!steps->OpenWindow()) {
        section.Fail(L"no window for the TWAIN manager could be made", L"restart Windows and run kvrdiag again");
        return sources;
    }
    const auto loaded = steps->Step([](const TwainExports& api, HWND) { return api.TWAIN_LoadSourceManager(); },
                                     TwainSteps::kSendsNoTriplet);
    if (!loaded) {
        ReportHang(section, L"TWAIN_LoadSourceManager", steps->Limit());
        return sources;
    }
    if (!loaded->returned) {
        section.Fail(StepFact(L"TWAIN_LoadSourceManager", *loaded) + L": the manager does not load", kInstallManager);
        CloseManager(*steps, section);
        return sources;
    }
    section.Ok(StepFact(L"TWAIN_LoadSourceManager", *loaded));
    const auto opened = steps->Step([](const TwainExports& api, HWND window) { return api.TWAIN_OpenSourceManager(window); });
    if (!opened) {
        ReportHang(section, L"TWAIN_OpenSourceManager (MSG_OPENDSM)", steps->Limit());
        return sources;
    }
    if (!opened->returned) {
        section.Fail(StepFact(L"TWAIN_OpenSourceManager", *opened) +
                         L": the manager does not open; kvrscan shows \"Unable to open Source Manager\" and answers 2 " +
                         Quoted(kNotChosenMessage),
                     L"reinstall the scanner's TWAIN driver; restart Windows if another program holds the manager");
        CloseManager(*steps, section);
        return sources;
    }
    section.Ok(StepFact(L"TWAIN_OpenSourceManager", *opened));

    // The sources, as the manager lists them to the selection dialog.
    for (int i = 0; i < kMostSources; ++i) {
        auto identity = std::make_shared<TW_IDENTITY>();
        const TW_UINT16 message = i == 0 ? MSG_GETFIRST : MSG_GETNEXT;
        const auto listed = steps->Step([identity, message](const TwainExports& api, HWND) {
            return api.TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, message, identity.get());
        });
        const wchar_t* step = i == 0 ? L"DAT_IDENTITY / MSG_GETFIRST" : L"DAT_IDENTITY / MSG_GETNEXT";
        if (!listed) {
            ReportHang(section, std::wstring(L"TWAIN_Mgr ") + step + L" (the manager asking its sources who they are)",
                       steps->Limit());
            return sources;
        }
        if (!listed->returned) {
            if (listed->resultCode != TWRC_ENDOFLIST) {
                section.Warn(std::wstring(L"TWAIN_Mgr ") + step + L" = 0: " +
                                 CodesText(listed->resultCode, listed->conditionCode) + L"; the listing stops here",
                             L"reinstall the TWAIN drivers of the sources that follow in the selection dialog");
            }
            break;
        }
        sources.push_back(*identity);
        section.Ok(L"source " + std::to_wstring(sources.size()) + L": " + SourceText(*identity));
    }
    if (sources.empty()) {
        section.Fail(L"the manager lists no source: kvrscan's selection is empty, and kvrscan answers 2 " +
                         Quoted(kNotChosenMessage),
                     L"install the scanner's TWAIN driver (a 32-bit one: the interpreter is a 32-bit program)");
    } else {
        auto identity = std::make_shared<TW_IDENTITY>();
        const auto answer = steps->Step([identity](const TwainExports& api, HWND) {
            return api.TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, identity.get());
        });
        if (!answer) {
            ReportHang(section, L"TWAIN_Mgr DAT_IDENTITY / MSG_GETDEFAULT", steps->Limit());
            return sources;
        }
        if (answer->returned) {
            section.Ok(L"default source: " + Quoted(IdentityText(identity->ProductName)));
        } else {
            section.Warn(L"the manager names no default source (" + CodesText(answer->resultCode, answer->conditionCode) +
                             L"): until the operator chooses one, a scan opens none",
                         L"choose the scanner once in kvrscan's selection dialog");
        }
    }
    CloseManager(*steps, section);
    return sources;
}

}  // namespace kavrel::diag
