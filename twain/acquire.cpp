// Acquisition: choosing a source, the one-call native acquisition with its proxy window and
// modal message loop, the message hook, native transfers and ending pending transfers.
#include "base/no_throw.h"
#include "base/win_handles.h"
#include "twain/acquisition_settings.h"
#include "twain/library_state.h"

using kavrel::Window;
using kavrel::twainlib::ErrorBox;
using kavrel::twainlib::ReportLastError;
using kavrel::twainlib::State;
using namespace twain;

namespace {

HWND CreateProxyWindow() {
    return ::CreateWindowExA(0, "STATIC", "Acquire Proxy", WS_POPUPWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr,
                             nullptr);
}

// The window handed to the acquisition (or its proxy) takes no input while the source is enabled.
class DisabledWindow {
public:
    explicit DisabledWindow(HWND window) noexcept : window_(window) { ::EnableWindow(window_, FALSE); }
    DisabledWindow(const DisabledWindow&) = delete;
    DisabledWindow& operator=(const DisabledWindow&) = delete;
    ~DisabledWindow() { ::EnableWindow(window_, TRUE); }

private:
    HWND window_;
};

// Lowers the library's own state to `state` when a step down was refused. A source that refuses
// to end its transfers, to be disabled or to be closed would otherwise keep the library above
// state 1 for the rest of the process (the steps act only from their own states), and the next
// acquisition of the day would fail; what the source itself then does is its own affair.
void AtMost(int state) {
    auto& s = State();
    if (s.twainState > state) s.twainState = state;
}

// The source is done with (it asked to be closed): pending transfers are ended or reset, then
// it is disabled, the library's state following even where the source refuses.
void EndTransfersAndDisable() {
    if (State().twainState > 5) TWAIN_AbortAllPendingXfers();
    AtMost(5);
    TWAIN_DisableSource();
    AtMost(4);
}

// Whatever happened, the library steps back to state 1; each step acts only as far as its state
// allows, and a step the source or the manager refuses still brings the library down with it.
void StepBackToState1(HWND window) {
    EndTransfersAndDisable();
    TWAIN_CloseSource();
    AtMost(3);
    TWAIN_CloseSourceManager(window);
    AtMost(2);
    TWAIN_UnloadSourceManager();
}

// Marks an acquisition as running for as long as it lives.
class AcquisitionRunning {
public:
    AcquisitionRunning() noexcept { State().acquiring = true; }
    AcquisitionRunning(const AcquisitionRunning&) = delete;
    AcquisitionRunning& operator=(const AcquisitionRunning&) = delete;
    ~AcquisitionRunning() { State().acquiring = false; }
};

// The transfer count the module chose (twain/acquisition_settings.h), asked for whatever the source
// answers, since the transfer loop holds to it; then the pixel types, whose failure is the step's.
bool NegotiateAcquisition(unsigned long pixelTypeMask) {
    if (const int wanted = State().acquireTransfersWanted; wanted > 0) TWAIN_NegotiateXferCount(wanted);
    return TWAIN_NegotiatePixelTypes(pixelTypeMask) != 0;
}

}  // namespace

TWAIN_API int WINAPI TWAIN_SelectImageSource(HWND window) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        // Refused inside an acquisition (from a window message its loop dispatched, a transfer
        // callback, another thread of the program), before anything is sent: its source is
        // enabled or transferring, and the manager's dialog would hold the transfer up for a
        // choice that could only apply to the next acquisition.
        if (kavrel::twainlib::InsideAnAcquisition()) return 0;
        Window proxy;
        if (!::IsWindow(window)) {
            if (window) {
                ErrorBox("TWAIN_SelectImageSource: window handle is invalid");
                return 0;
            }
            proxy.reset(CreateProxyWindow());
            window = proxy.get();
            if (!::IsWindow(window)) {
                ErrorBox("TWAIN_SelectImageSource: Unable to create proxy window");
                return 0;
            }
        }
        // The library is left in the state this call found it in: a program that loaded or
        // opened the manager or opened a source itself keeps them, and the operator's choice is
        // the source opened next. The manager takes the selection in states 3 and 4 as well.
        const int stateBefore = State().twainState;
        int result = 0;
        if (!TWAIN_LoadSourceManager()) {
            ErrorBox("Unable to load Source Manager (TWAIN_32.DLL)");
        } else {
            if (stateBefore < 3 && !TWAIN_OpenSourceManager(window)) {
                ErrorBox("Unable to open Source Manager (TWAIN_32.DLL)");
            } else {
                TW_IDENTITY chosen{};
                result = TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen);
                // The identity the operator confirmed is the source opened from now on (see
                // TWAIN_OpenDefaultSource); a manager that answers without naming one leaves
                // the earlier choice, if any, as it was.
                if (result && chosen.ProductName[0]) {
                    State().chosenSource = chosen;
                    State().sourceChosen = true;
                }
                if (stateBefore < 3) TWAIN_CloseSourceManager(window);
            }
            if (stateBefore < 2) TWAIN_UnloadSourceManager();
        }
        return result;
    });
}

TWAIN_API HANDLE WINAPI TWAIN_AcquireNative(HWND window, unsigned long pixelTypeMask) {
    // Refused inside another acquisition, before anything of that one is touched: no image.
    if (kavrel::twainlib::InsideAnAcquisition()) return nullptr;
    const AcquisitionRunning running;
    return kavrel::NoThrowOr([&]() -> HANDLE {
        auto& s = State();
        s.acquisition.Begin();
        kavrel::twainlib::ClearError();
        TWAIN_ClearDibList();

        Window proxy;
        if (!::IsWindow(window)) {
            // An invalid handle is replaced without a word, as a missing one is.
            proxy.reset(CreateProxyWindow());
            window = proxy.get();
        }

        if (!::IsWindow(window)) {
            ErrorBox("Unable to create proxy window");
        } else if (!TWAIN_LoadSourceManager()) {
            ErrorBox("Unable to load Source Manager (TWAIN_32.DLL)");
        } else if (!TWAIN_OpenSourceManager(window)) {
            ErrorBox("Unable to open Source Manager (TWAIN_32.DLL)");
        } else if (!TWAIN_OpenDefaultSource()) {
            ReportLastError("Unable to open default Data Source.");
        } else if (!NegotiateAcquisition(pixelTypeMask)) {
            ReportLastError("Failed to negotiate Pixel Type.");
        } else if (!TWAIN_EnableSource(window)) {
            // A source that answers "cancelled" closed its own interface at once (its operator
            // cancelled there): nothing failed that the operator should be told about.
            if (s.lastResultCode != TWRC_CANCEL) ReportLastError("Failed to enable Data Source.");
        } else {
            DisabledWindow disabled(window);
            TWAIN_ModalEventLoop();
            // Transfers that answered "done" with nothing usable in them end in no image at all:
            // said here, or the operator (and support) would only see that nothing arrived.
            if (s.dibCount == 0 && s.lastError.error == kavrel::twainlib::kErrorUnusableImage) {
                ReportLastError("The source delivered no usable image.");
            }
        }

        StepBackToState1(window);
        return s.acquisition.Image();
    }, [&]() -> HANDLE {
        StepBackToState1(window);
        return nullptr;
    });
}

TWAIN_API void WINAPI TWAIN_ModalEventLoop(void) {
    kavrel::NoThrowVoid([&] {
        auto& s = State();
        MSG message;
        // The loop ends once the acquisition is over (see Acquisition::Over), when the source has
        // been disabled (it asked to be closed), or on WM_QUIT.
        while (s.twainState >= 5 && !s.acquisition.Over()) {
            // WM_QUIT ends the loop and is consumed here: it ends the acquisition (the library then
            // steps back to state 1), and the caller -- a script function inside the host, or a
            // program that called TWAIN_AcquireNative from its own loop -- carries on. The viewer's
            // loop, by contrast, posts the quit again for the host's loop around it.
            if (::GetMessageA(&message, nullptr, 0, 0) <= 0) break;
            if (!TWAIN_MessageHook(&message)) {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
    });
}

TWAIN_API int WINAPI TWAIN_MessageHook(LPMSG message) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        auto& s = State();
        if (s.twainState < 5) return 0;
        // A batch the source announces with the message is transferred there and then.
        const kavrel::twainlib::HandedMessage handed = s.acquisition.HandToSource(message);
        if (handed.sourceSaid == MSG_CLOSEDSREQ) EndTransfersAndDisable();
        return handed.sourcesOwn ? 1 : 0;
    });
}

TWAIN_API int WINAPI TWAIN_NativeXferGetAll(void* /*ignored*/) {
    return kavrel::NoThrowOr([&]() -> int {
        State().acquisition.TransferAll();
        return State().twainState;
    }, [] { return State().twainState; });
}

TWAIN_API int WINAPI TWAIN_AbortAllPendingXfers(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        State().acquisition.EndPending();
        return State().twainState <= 5 ? 1 : 0;
    });
}

namespace kavrel::twainlib {

void SetAcquireTransfersWanted(int count) noexcept { State().acquireTransfersWanted = count > 0 ? count : 0; }

int AcquireTransfersWanted() noexcept { return State().acquireTransfersWanted; }

}  // namespace kavrel::twainlib

TWAIN_API void WINAPI TWAIN_RegisterCallback(TW_TRANSFER_CALLBACK callback) {
    kavrel::NoThrowVoid([&] { State().transferCallback = callback; });
}

TWAIN_API void WINAPI TWAIN_UnRegisterCallback(void) {
    kavrel::NoThrowVoid([&] { State().transferCallback = nullptr; });
}
