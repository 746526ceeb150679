// 3, with --sources. The module's TWAIN library opens only the manager's default source, so this
// check talks to the manager through a connection of its own, on the same thread and window as
// the library's steps.
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
    TextId what;
};

const AskedCapability kCapabilities[] = {
    {ICAP_PIXELTYPE, TextId::CapPixelTypes},     {ICAP_BITDEPTH, TextId::CapBitDepths},
    {ICAP_UNITS, TextId::CapUnits},              {ICAP_XRESOLUTION, TextId::CapResolutions},
    {CAP_XFERCOUNT, TextId::CapTransferCount},   {CAP_FEEDERENABLED, TextId::CapFeeder},
    {CAP_UICONTROLLABLE, TextId::CapUiHideable}, {CAP_DEVICEONLINE, TextId::CapDeviceOnline},
};

class ManagerConnection {
public:
    // Loads the manager kvrscan's library loads and opens it with `window` as its parent.
    std::optional<std::wstring> Open(Language language, const std::string& path, HWND window) {
        module_.reset(::LoadLibraryA(path.c_str()));
        if (!module_) return Say(language, TextId::DoesNotLoad, {SystemError(language, ::GetLastError())});
        if (!twainlib::BindExport(module_.get(), "DSM_Entry", entry_)) return Say(language, TextId::NoDsmEntry);
        parent_ = window;
        const TW_UINT16 rc = Send(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_);
        if (rc != TWRC_SUCCESS) return L"MSG_OPENDSM: " + CodesText(language, rc, Condition(nullptr));
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
Answer AskCapability(Language language, Probe& probe, TW_UINT16 code) {
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
    a.capability = locked ? DescribeCapability(language, code, cap.ConType, locked.bytes(), locked.size())
                          : CapabilityText{{}, Say(language, container ? TextId::ContainerNotLocked : TextId::NoContainer)};
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
    const std::wstring what = L"  " + section.Say(asked.what) + L": ";
    if (a.resultCode != TWRC_SUCCESS) {
        section.Ok(what + section.Say(TextId::CapNotOffered, {CodesText(section.Lang(), a.resultCode, a.conditionCode)}));
    } else if (!a.capability.fault.empty()) {
        section.Warn(what + section.Say(TextId::CapBroken, {a.capability.fault}), section.Say(TextId::CapBrokenAction));
    } else if (asked.cap == CAP_DEVICEONLINE && a.capability.values == section.Say(TextId::No)) {
        section.Warn(what + section.Say(TextId::DeviceOffline), section.Say(TextId::DeviceOfflineAction));
    } else {
        section.Ok(what + a.capability.values);
    }
}

}  // namespace

void ProbeSources(TwainSteps& steps, const ManagerFound& manager, ReportSection& section) {
    if (manager.sources.empty() || steps.Stuck() || !steps.OpenWindow()) return;

    auto probe = std::make_shared<Probe>();
    const std::string managerPath = manager.path;
    const Language language = section.Lang();
    const auto opened = steps.Ask([probe, managerPath, language](const TwainExports&, HWND window) {
        return probe->manager.Open(language, managerPath, window).value_or(L"");
    });
    if (!opened) return ReportHang(section, section.Say(TextId::OpeningManagerAgain), steps.Limit());
    const auto closeManager = [&steps, probe] {
        steps.Ask([probe](const TwainExports&, HWND) {
            probe->manager.Close();
            return true;
        });
        steps.CloseWindow();
    };
    if (!opened->empty()) {
        section.Fail(section.Say(TextId::ManagerNotOpenedAgain, {FromAnsi(managerPath), *opened}),
                     section.Say(TextId::ReinstallTwainDriver));
        return closeManager();
    }

    for (const TW_IDENTITY& listed : manager.sources) {
        const std::wstring name = Quoted(IdentityText(listed.ProductName));
        const auto open = steps.Ask([probe, listed](const TwainExports&, HWND) {
            probe->source = listed;
            return OpenOrClose(*probe, MSG_OPENDS);
        });
        if (!open) return ReportHang(section, section.Say(TextId::OpeningSource, {name}), steps.Limit());
        if (open->resultCode != TWRC_SUCCESS) {
            section.Fail(section.Say(TextId::SourceNotOpened, {name, CodesText(language, open->resultCode, open->conditionCode),
                                                              Quoted(kNotConnectedMessage.wide)}),
                         section.Say(TextId::SourceNotOpenedAction));
            continue;
        }
        section.Ok(section.Say(TextId::SourceOpens, {name, Seconds(language, open->seconds)}));
        for (const AskedCapability& asked : kCapabilities) {
            const auto answer = steps.Ask(
                [probe, asked, language](const TwainExports&, HWND) { return AskCapability(language, *probe, asked.cap); });
            if (!answer) {
                return ReportHang(section, section.Say(TextId::AskingCapability, {section.Say(asked.what), name}),
                                  steps.Limit());
            }
            ReportCapability(section, asked, *answer);
        }
        const auto closed = steps.Ask([probe](const TwainExports&, HWND) { return OpenOrClose(*probe, MSG_CLOSEDS); });
        if (!closed) return ReportHang(section, section.Say(TextId::ClosingSource, {name}), steps.Limit());
        if (closed->resultCode == TWRC_SUCCESS) {
            section.Ok(section.Say(TextId::SourceClosed));
        } else {
            section.Warn(section.Say(TextId::SourceNotClosed, {name, CodesText(language, closed->resultCode, closed->conditionCode)}),
                         section.Say(TextId::UpdateDriverRestartInterpreter));
        }
    }
    closeManager();
}

}  // namespace kavrel::diag
