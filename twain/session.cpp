// The TWAIN session: the library's global state, finding and loading the Source Manager, the
// state-machine steps, raw triplets, result and condition codes, and the error record.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/no_throw.h"
#include "base/windows_directory.h"
#include "twain/app_identity.h"
#include "twain/code_names.h"
#include "twain/dsm_path.h"
#include "twain/library_state.h"
#include "twain/triplet_log.h"

namespace kavrel::twainlib {

using namespace twain;

namespace {

constexpr int kEasyVersion = 106;
TW_IDENTITY DefaultAppIdentity() { return MakeAppIdentity(1, 0, TWLG_USA, TWCY_USA, "<?>", "<?>", "<?>", "<?>"); }

LibraryState MakeInitialState() {
    LibraryState state;
    state.appIdentity = DefaultAppIdentity();
    return state;
}

const char* LibraryErrorText(int code) {
    switch (code) {
    case kErrorNone: return "none recorded";
    case kErrorGetPixelTypes: return "the source refused to list its pixel types";
    case kErrorSetPixelTypes: return "the source refused the narrowed pixel types";
    case kErrorOpenSource: return "the default source could not be opened";
    case kErrorEnableSource: return "the source could not be enabled";
    case kErrorNegotiateOutsideState4: return "pixel types negotiated outside state 4";
    case kErrorNoContainer: return "the source returned no container";
    case kErrorContainerUnusable: return "the source's container could not be read";
    case kErrorContainerType: return "the source's container is of an unhandled type";
    case kErrorItemType: return "the pixel types are not 16-bit values";
    case kErrorEmptyList: return "the source offers no pixel types";
    case kErrorNoCommonPixelType: return "no wanted pixel type is offered";
    case kErrorUnusableImage: return "the source delivered a block that is no usable DIB or bitmap";
    default: return "unknown";
    }
}

}  // namespace

LibraryState& State() {
    static LibraryState state = MakeInitialState();
    return state;
}

void ErrorBox(const char* text) {
    ::MessageBoxA(nullptr, text, "TWAIN Error", MB_OK | MB_ICONEXCLAMATION);
}

void SoftAssert(bool condition) {
    if (!condition) ::MessageBoxA(nullptr, "Assertion failed", "SCANKIT", MB_OK);
}

TripletCodes HoldLatestTripletCodes() {
    LibraryState& s = State();
    TripletCodes codes;
    codes.resultCode = s.lastResultCode;
    codes.conditionCode = TWAIN_GetConditionCode();
    RestoreTripletCodes(codes);
    return codes;
}

void RestoreTripletCodes(const TripletCodes& codes) {
    LibraryState& s = State();
    s.lastResultCode = codes.resultCode;
    s.heldConditionCode = codes.conditionCode;
}

int RecordError(int code) {
    LibraryState& s = State();
    if (s.lastError.error != kErrorNone) return 0;
    s.lastError.error = code;
    if (code >= kErrorGetPixelTypes && code <= kErrorEnableSource) {
        const TripletCodes codes = HoldLatestTripletCodes();
        s.lastError.resultCode = static_cast<TW_INT16>(codes.resultCode);
        s.lastError.conditionCode = codes.conditionCode;
    } else {
        s.lastError.resultCode = 0;
        s.lastError.conditionCode = 0;
    }
    return 0;
}

void ClearError() { State().lastError.error = kErrorNone; }

void ReportLastError(const char* context) {
    // The fixed first line stays; below it what failed and the codes recorded with the first
    // failure, so that a screenshot of the box tells support everything.
    const ErrorRecord& e = State().lastError;
    char text[512];
    std::snprintf(text, sizeof text,
                  "TWAIN_ReportLastError: an error occurred\n\n%s\n\n"
                  "Library error %d: %s\nResult code %d (%s), condition code %d (%s)",
                  context ? context : "", e.error, LibraryErrorText(e.error), e.resultCode,
                  ResultCodeName(e.resultCode), e.conditionCode, ConditionCodeName(e.conditionCode));
    ErrorBox(text);
}

}  // namespace kavrel::twainlib

using kavrel::twainlib::State;
using namespace twain;

// --- information and settings -----------------------------------------------------------------

TWAIN_API int WINAPI TWAIN_EasyVersion(void) {
    return kavrel::NoThrow(int{kavrel::twainlib::kEasyVersion}, [&]() -> int {
        return kavrel::twainlib::kEasyVersion;
    });
}

TWAIN_API int WINAPI TWAIN_State(void) {
    // Reading the state cannot fail; the guard is there because every export has one.
    return kavrel::NoThrow(1, [] { return State().twainState; });
}

TWAIN_API int WINAPI TWAIN_IsAvailable(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        if (s.dsmEntry) return 1;
        if (s.dsmPresence == 0) {
            if (TWAIN_LoadSourceManager()) {
                s.dsmPresence = 1;
                TWAIN_UnloadSourceManager();
            } else {
                s.dsmPresence = -1;
            }
        }
        return s.dsmPresence > 0 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_GetHideUI(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return State().hideUI; });
}

TWAIN_API void WINAPI TWAIN_SetHideUI(int hide) {
    kavrel::NoThrowVoid([&] { State().hideUI = hide ? 1 : 0; });
}

TWAIN_API void WINAPI TWAIN_RegisterApp(int majorNum, int minorNum, int language, int country,
                                        LPCSTR version, LPCSTR manufacturer, LPCSTR productFamily,
                                        LPCSTR productName) {
    kavrel::NoThrowVoid([&] {
        State().appIdentity = kavrel::twainlib::MakeAppIdentity(majorNum, minorNum, language, country, version,
                                                                manufacturer, productFamily, productName);
    });
}

TWAIN_API int WINAPI TWAIN_GetResultCode(void) {
    return kavrel::NoThrow(int{TWRC_FAILURE}, [&]() -> int {
        return static_cast<int>(static_cast<TW_INT16>(State().lastResultCode));
    });
}

TWAIN_API int WINAPI TWAIN_GetConditionCode(void) {
    return kavrel::NoThrow(int{TWCC_BUMMER}, [&]() -> int {
        const int state = State().twainState;
        // Codes the library already asked for belong to the latest triplet: a second status
        // triplet would answer for the first one.
        if (State().heldConditionCode != kavrel::twainlib::kNoHeldCondition) return State().heldConditionCode;
        TW_STATUS status{};
        int sent = 0;
        if (state >= 4) {
            sent = TWAIN_DS(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        } else if (state == 3) {
            sent = TWAIN_Mgr(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        } else {
            return TWCC_SEQERROR;
        }
        return sent ? status.ConditionCode : TWCC_BUMMER;
    });
}

// --- state-machine steps ----------------------------------------------------------------------

TWAIN_API int WINAPI TWAIN_LoadSourceManager(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        if (s.twainState >= 2) return 1;
        // A path that does not fit the manager's buffer means the manager is not found.
        const auto path = kavrel::twainlib::DsmPathInWindowsDirectory(kavrel::WindowsDirectory());
        s.dsmModule.reset();
        if (path) {
            OFSTRUCT of{};
            if (::OpenFile(path->c_str(), &of, OF_EXIST) != HFILE_ERROR) {
                s.dsmModule.reset(::LoadLibraryA(path->c_str()));
            }
        }
        if (s.dsmModule) {
            s.dsmEntry = reinterpret_cast<DSMENTRYPROC>(
                reinterpret_cast<void*>(::GetProcAddress(s.dsmModule.get(), "DSM_Entry")));
            if (s.dsmEntry) {
                s.dsmPresence = 1;
                s.twainState = 2;
            } else {
                s.dsmModule.reset();
            }
        } else {
            s.dsmEntry = nullptr;
        }
        return s.twainState >= 2 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_UnloadSourceManager(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        if (s.twainState == 2) {
            s.dsmModule.reset();
            s.dsmEntry = nullptr;
            s.twainState = 1;
            // Also where the manager refused to be closed (the library stepped down all the
            // same): nothing holds the log between acquisitions.
            kavrel::twainlib::CloseTripletLog();
        }
        return s.twainState == 1 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_OpenSourceManager(HWND window) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        s.dsmParentWindow = window;
        // The log's setting is read here, so that a program that names a file in its own
        // process before it opens the manager gets a log of it.
        kavrel::twainlib::OpenTripletLog();
        // Opening again while a source is open must not claim that no source is open: only a
        // manager that was loaded but not open moves on to state 3.
        if (TWAIN_LoadSourceManager()) {
            kavrel::twainlib::SendToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &s.dsmParentWindow,
                                            &kavrel::twainlib::OnSuccess<2, 3>);
        }
        // A manager that is not open will not be closed, and the log would be held to the end of
        // the process: let go of it here, as its closing would.
        if (s.twainState < 3) kavrel::twainlib::CloseTripletLog();
        return s.twainState >= 3 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_OpenDefaultSource(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        if (s.twainState != 3) return 0;
        // Which source to open: the one the operator chose in this process; without a choice the
        // manager's default, asked for by name; only when the manager cannot say, the empty
        // identity, which a manager takes for its default. Not every manager remembers the
        // operator's choice as its default (Wine's opens the first source it lists), and not
        // every source accepts an empty identity passed on to it (Wine's camera source refuses).
        // On a manager that does keep the default, the same source opens either way.
        TW_IDENTITY identity{};
        if (s.sourceChosen) {
            // By name: the Id is the one the manager gave at selection, and a manager that loads
            // by a non-zero Id would open another source if its list changed in between.
            identity = s.chosenSource;
            identity.Id = 0;
        } else if (!TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &identity) || !identity.ProductName[0]) {
            identity = s.sourceIdentity;
            identity.Id = 0;
            identity.ProductName[0] = '\0';
        }
        s.sourceIdentity = identity;
        if (kavrel::twainlib::SendToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &s.sourceIdentity,
                                            &kavrel::twainlib::OnSuccess<3, 4>)) {
            s.transfersWanted = 0;  // a source opened anew holds its own count
        } else {
            kavrel::twainlib::RecordError(kavrel::twainlib::kErrorOpenSource);
        }
        return s.twainState == 4 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_EnableSource(HWND window) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        if (s.twainState != 4) return 0;
        s.sourceUI.ShowUI = s.hideUI ? 0 : 1;
        s.sourceUI.ModalUI = 0;
        s.sourceUI.hParent = window;
        // TWRC_CHECKSTATUS (the source could not hide its interface) is still an enabled source.
        // TWRC_CANCEL is not: the source closed its interface at once (its operator cancelled in
        // it), and counting it enabled would wait for ever for a close request that never comes.
        kavrel::twainlib::SendToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &s.sourceUI,
                                       [](TW_UINT16 resultCode, const void*, int stateBefore) {
                                           const bool enabled = resultCode != TWRC_FAILURE && resultCode != TWRC_CANCEL;
                                           return enabled ? 5 : stateBefore;
                                       });
        if (s.lastResultCode == TWRC_FAILURE) {
            kavrel::twainlib::RecordError(kavrel::twainlib::kErrorEnableSource);
        } else if (s.twainState == 5) {
            // The application asked for no interface: once a batch is over the acquisition ends,
            // also when the source answered TWRC_CHECKSTATUS (it could not hide its interface):
            // one that then shows none and never asks to be closed would hold the loop for ever.
            s.acquisition.Enabled(!s.sourceUI.ShowUI);
        }
        return s.twainState == 5 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_DisableSource(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        if (s.twainState == 5) {
            kavrel::twainlib::SendToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &s.sourceUI,
                                           &kavrel::twainlib::OnSuccess<5, 4>);
        }
        return s.twainState <= 4 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_CloseSource(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        s.lastResultCode = TWRC_SUCCESS;
        s.heldConditionCode = kavrel::twainlib::kNoHeldCondition;
        if (s.twainState == 5) TWAIN_DisableSource();
        if (s.twainState == 4) {
            kavrel::twainlib::SendToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &s.sourceIdentity,
                                            &kavrel::twainlib::OnSuccess<4, 3>);
        }
        return s.twainState <= 3 ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_CloseSourceManager(HWND window) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        s.lastResultCode = TWRC_SUCCESS;
        s.heldConditionCode = kavrel::twainlib::kNoHeldCondition;
        if (TWAIN_CloseSource()) {
            HWND copy = window;
            if (kavrel::twainlib::SendToManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &copy,
                                                &kavrel::twainlib::OnSuccess<3, 2>)) {
                kavrel::twainlib::CloseTripletLog();
            }
        }
        return s.twainState <= 2 ? 1 : 0;
    });
}

// --- raw triplets -----------------------------------------------------------------------------

namespace kavrel::twainlib {
namespace {

// The triplet's line, once the library has moved to the state it leads to. The log only writes
// down what was said: it sends nothing of its own, so that a source hears the same with the log
// on as off. A failed triplet's condition code is in the line of the status triplet that asked
// for it, when the library or the program asks (a question of the log's own would be answered
// in place of the program's: a source may reset its condition code once it has told it).
void LogSentTriplet(bool toSource, unsigned long dg, unsigned short dat, unsigned short msg, const void* data,
                    int stateBefore) {
    const LibraryState& s = State();
    LoggedTriplet line;
    line.toSource = toSource;
    line.group = dg;
    line.argumentType = dat;
    line.message = msg;
    line.resultCode = s.lastResultCode;
    line.stateBefore = stateBefore;
    line.stateAfter = s.twainState;
    if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET && data && s.lastResultCode == TWRC_SUCCESS) {
        line.conditionCode = static_cast<const TW_STATUS*>(data)->ConditionCode;
    }
    LogTriplet(line);
}

int SendTriplet(TW_IDENTITY* destination, unsigned long dg, unsigned short dat, unsigned short msg,
                void* data, StateAfter next) {
    auto& s = State();
    const int stateBefore = s.twainState;
    s.lastResultCode = TWRC_FAILURE;
    s.heldConditionCode = kNoHeldCondition;
    if (s.dsmEntry) {
        s.lastResultCode = s.dsmEntry(&s.appIdentity, destination, static_cast<TW_UINT32>(dg), dat,
                                      msg, data);
    }
    if (next) s.twainState = next(s.lastResultCode, data, stateBefore);
    if (TripletLogOpen()) LogSentTriplet(destination != nullptr, dg, dat, msg, data, stateBefore);
    return s.lastResultCode == TWRC_SUCCESS ? 1 : 0;
}

}  // namespace

int SendToSource(unsigned long dg, unsigned short dat, unsigned short msg, void* data, StateAfter next) {
    SoftAssert(State().twainState >= 4);
    return SendTriplet(&State().sourceIdentity, dg, dat, msg, data, next);
}

int SendToManager(unsigned long dg, unsigned short dat, unsigned short msg, void* data, StateAfter next) {
    return SendTriplet(nullptr, dg, dat, msg, data, next);
}

}  // namespace kavrel::twainlib

TWAIN_API int WINAPI TWAIN_DS(unsigned long dg, unsigned short dat, unsigned short msg, void* data) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return kavrel::twainlib::SendToSource(dg, dat, msg, data, nullptr); });
}

TWAIN_API int WINAPI TWAIN_Mgr(unsigned long dg, unsigned short dat, unsigned short msg, void* data) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return kavrel::twainlib::SendToManager(dg, dat, msg, data, nullptr); });
}
