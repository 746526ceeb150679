#include "tools/kvrdiag/twain_steps.h"

#include "tools/kvrdiag/text.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {

using namespace twain;

TwainSteps::TwainSteps(BoundedWorker& worker, const TwainExports& api, std::chrono::milliseconds limit)
    : worker_(worker), shared_(std::make_shared<Shared>()), limit_(limit) {
    shared_->api = api;
}

StepAnswer TwainSteps::Measured(const Call& call, int sendsFromState, const TwainExports& api, HWND window) {
    StepAnswer a;
    const int stateBefore = api.TWAIN_State();
    const double start = Now();
    a.returned = call(api, window);
    a.seconds = Now() - start;
    a.state = api.TWAIN_State();
    // A call that sent no triplet leaves the library's codes as an earlier step set them: they
    // are not this one's. Without a manager loaded before or after the call (state 1) it sent
    // none, nor a step back from below the state it leaves.
    const bool sent = stateBefore >= sendsFromState && (stateBefore >= 2 || a.state >= 2);
    if (!sent) return a;
    // The result code is read first: asking for the condition code is a triplet of its own.
    a.resultCode = api.TWAIN_GetResultCode();
    if (a.state >= 3) {
        // From the manager in state 3, from the source above it.
        a.conditionCode = api.TWAIN_GetConditionCode();
    } else if (a.state == 2 && !a.returned) {
        // The library asks no one below state 3; the manager still knows why it refused.
        TW_STATUS status{};
        if (api.TWAIN_Mgr(DG_CONTROL, DAT_STATUS, MSG_GET, &status)) a.conditionCode = status.ConditionCode;
    }
    return a;
}

std::optional<StepAnswer> TwainSteps::Step(Call call, int sendsFromState, std::optional<Bounds> bounds,
                                           bool* interrupted) {
    return Ask([call, sendsFromState](const TwainExports& api, HWND window) {
        return Measured(call, sendsFromState, api, window);
    }, bounds, interrupted);
}

bool TwainSteps::OpenWindow() {
    const auto made = Ask([shared = shared_](const TwainExports&, HWND) {
        if (!shared->window) {
            shared->window =
                ::CreateWindowExA(0, "STATIC", "kvrdiag", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        }
        return shared->window != nullptr;
    });
    return made && *made;
}

void TwainSteps::CloseWindow() {
    Ask([shared = shared_](const TwainExports&, HWND) {
        if (shared->window) ::DestroyWindow(shared->window);
        shared->window = nullptr;
        return true;
    });
}

}  // namespace kavrel::diag
