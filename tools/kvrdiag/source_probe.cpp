// 3, with --sources: every source the manager lists, opened in turn with its interface hidden
// (never enabled, nothing scanned), asked for its capabilities and closed again.
//
// The module's TWAIN library opens only the manager's default source, so this check talks to the
// manager through a connection of its own, on the same thread and window as the library's steps.
#include <windows.h>

#include "base/operator_messages.h"
#include "base/win_handles.h"
#include "tools/kvrdiag/capability_text.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/text.h"
#include "tools/kvrdiag/twain_steps.h"
#include "twain/app_identity.h"

namespace kavrel::diag {

using namespace twain;

namespace {

struct AskedCapability {
    TW_UINT16 cap;
    const wchar_t* what;
};

const AskedCapability kCapabilities[] = {
    {ICAP_PIXELTYPE, L"pixel types"},
    {ICAP_BITDEPTH, L"bit depths"},
    {ICAP_UNITS, L"units"},
    {ICAP_XRESOLUTION, L"resolutions"},
    {CAP_XFERCOUNT, L"transfer count"},
    {CAP_FEEDERENABLED, L"feeder"},
    {CAP_UICONTROLLABLE, L"interface can be hidden"},
    {CAP_DEVICEONLINE, L"device online"},
};

class ManagerConnection {
public:
    // Loads the manager kvrscan's library loads and opens it with `window` as its parent.
    std::optional<std::wstring> Open(const std::string& path, HWND window) {
        module_.reset(::LoadLibraryA(path.c_str()));
        if (!module_) return L"it does not load: " + SystemError(::GetLastError());
        entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DSM_Entry")));
        if (!entry_) return L"it has no DSM_Entry";
        parent_ = window;
        const TW_UINT16 rc = Send(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_);
        if (rc != TWRC_SUCCESS) return L"MSG_OPENDSM: " + CodesText(rc, Condition(nullptr));
        open_ = true;
        return std::nullopt;
    }

    void Close() {
        if (open_) Send(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent_);
        open_ = false;
        entry_ = nullptr;
        module_.reset();
    }

    TW_UINT16 Send(TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
        return entry_ ? entry_(&app_, destination, dg, dat, msg, data) : TWRC_FAILURE;
    }

    std::optional<int> Condition(TW_IDENTITY* destination) {
        TW_STATUS status{};
        if (Send(destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) return std::nullopt;
        return status.ConditionCode;
    }

private:
    Module module_;
    DSMENTRYPROC entry_ = nullptr;
    // The manager writes the Id it gives this connection into it.
    TW_IDENTITY app_ = twainlib::MakeAppIdentity(1, 0, TWLG_USA, TWCY_USA, "kvrdiag", "Kavrel", "Kavrel", "kvrdiag");
    HWND parent_ = nullptr;
    bool open_ = false;
};

// What the steps share on the TWAIN thread.
struct Probe {
    ManagerConnection manager;
    TW_IDENTITY source{};
};

struct Answer {
    TW_UINT16 resultCode = TWRC_FAILURE;
    std::optional<int> conditionCode;
    double seconds = 0;
    CapabilityText capability;
};

// The source's answer to MSG_GET of one capability, its container read and freed.
Answer AskCapability(Probe& probe, TW_UINT16 code) {
    Answer a;
    // MSG_GET asks for every value; the container type is the source's to choose.
    TW_CAPABILITY cap{code, TWON_DONTCARE16, nullptr};
    const double start = Now();
    a.resultCode = probe.manager.Send(&probe.source, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
    a.seconds = Now() - start;
    const GlobalBlock container(static_cast<HGLOBAL>(cap.hContainer));
    if (a.resultCode != TWRC_SUCCESS) {
        a.conditionCode = probe.manager.Condition(&probe.source);
        return a;
    }
    const GlobalLockGuard locked(container.get());
    a.capability = locked ? DescribeCapability(code, cap.ConType, locked.bytes(), locked.size())
                          : CapabilityText{{}, container ? "a container handle that cannot be locked" : "no container"};
    return a;
}

// MSG_OPENDS or MSG_CLOSEDS of the probe's source, timed, with the manager's condition code when refused.
Answer OpenOrClose(Probe& probe, TW_UINT16 message) {
    Answer a;
    const double start = Now();
    a.resultCode = probe.manager.Send(nullptr, DG_CONTROL, DAT_IDENTITY, message, &probe.source);
    a.seconds = Now() - start;
    if (a.resultCode != TWRC_SUCCESS) a.conditionCode = probe.manager.Condition(nullptr);
    return a;
}

void ReportCapability(ReportSection& section, const AskedCapability& asked, const Answer& a) {
    const std::wstring what = L"  " + std::wstring(asked.what) + L": ";
    if (a.resultCode != TWRC_SUCCESS) {
        section.Ok(what + L"not offered (" + CodesText(a.resultCode, a.conditionCode) + L")");
    } else if (!a.capability.fault.empty()) {
        section.Warn(what + L"the driver's answer is broken: " + FromAnsi(a.capability.fault),
                     L"update the scanner's TWAIN driver: programs that negotiate this capability may fail with it");
    } else if (asked.cap == CAP_DEVICEONLINE && a.capability.values == "no") {
        section.Warn(what + L"no: the scanner reports itself switched off or disconnected",
                     L"switch the scanner on and check its cable");
    } else {
        section.Ok(what + FromAnsi(a.capability.values));
    }
}

}  // namespace

void ProbeSources(TwainSteps& steps, const ManagerFound& manager, ReportSection& section) {
    const std::vector<TW_IDENTITY>& sources = manager.sources;
    if (sources.empty() || steps.Stuck() || !steps.OpenWindow()) return;

    auto probe = std::make_shared<Probe>();
    const std::string managerPath = manager.path;
    const auto opened = steps.Ask([probe, managerPath](const TwainExports&, HWND window) {
        return probe->manager.Open(managerPath, window).value_or(L"");
    });
    if (!opened) return ReportHang(section, L"opening the manager for --sources", steps.Limit());
    const auto closeManager = [&steps, probe] {
        steps.Ask([probe](const TwainExports&, HWND) {
            probe->manager.Close();
            return true;
        });
        steps.CloseWindow();
    };
    if (!opened->empty()) {
        section.Fail(L"--sources: the manager " + FromAnsi(managerPath) + L" cannot be opened a second time: " + *opened,
                     L"reinstall the scanner's TWAIN driver");
        return closeManager();
    }

    for (const TW_IDENTITY& listed : sources) {
        const std::wstring name = Quoted(IdentityText(listed.ProductName));
        const auto open = steps.Ask([probe, listed](const TwainExports&, HWND) {
            probe->source = listed;
            return OpenOrClose(*probe, MSG_OPENDS);
        });
        if (!open) return ReportHang(section, L"MSG_OPENDS of source " + name + L" (its driver opening the device)", steps.Limit());
        if (open->resultCode != TWRC_SUCCESS) {
            section.Fail(L"source " + name + L" does not open: MSG_OPENDS " + CodesText(open->resultCode, open->conditionCode) +
                             L"; a scan with it ends with kvrscan's answer 1 " + Quoted(kNotConnectedMessage.wide),
                         L"switch the scanner on and connect it, close any other program using it; reinstall its driver "
                         L"if it still does not open");
            continue;
        }
        section.Ok(L"source " + name + L" opens (MSG_OPENDS, " + Seconds(open->seconds) +
                   L"); asked with its interface hidden, never enabled:");
        for (const AskedCapability& asked : kCapabilities) {
            const TW_UINT16 code = asked.cap;
            const auto answer = steps.Ask([probe, code](const TwainExports&, HWND) { return AskCapability(*probe, code); });
            if (!answer) {
                return ReportHang(section, L"MSG_GET of " + std::wstring(asked.what) + L" from source " + name,
                                  steps.Limit());
            }
            ReportCapability(section, asked, *answer);
        }
        const auto closed = steps.Ask([probe](const TwainExports&, HWND) { return OpenOrClose(*probe, MSG_CLOSEDS); });
        if (!closed) return ReportHang(section, L"MSG_CLOSEDS of source " + name, steps.Limit());
        if (closed->resultCode == TWRC_SUCCESS) {
            section.Ok(L"  closed again (MSG_CLOSEDS)");
        } else {
            section.Warn(L"  source " + name + L" does not close: MSG_CLOSEDS " +
                             CodesText(closed->resultCode, closed->conditionCode),
                         L"update the scanner's TWAIN driver; until then restart the interpreter after a failed scan");
        }
    }
    closeManager();
}

}  // namespace kavrel::diag
