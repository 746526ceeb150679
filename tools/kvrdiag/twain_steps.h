// The TWAIN checks' steps: each export call runs on the TWAIN worker's thread (the thread of
// the window the manager is given, and of the message loop), bounded in time, and comes back
// with what the library says after it.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "tools/kvrdiag/bounded_worker.h"
#include "tools/kvrdiag/report.h"
#include "tools/kvrdiag/twain_exports.h"

namespace kavrel::diag {

struct StepAnswer {
    int returned = 0;
    std::optional<int> resultCode;     // TWAIN_GetResultCode right after a call that sends triplets
    std::optional<int> conditionCode;  // asked of the manager or source when the state lets it be
    int state = 0;                     // TWAIN_State after the call
    double seconds = 0;                // the call itself
};

class TwainSteps {
public:
    TwainSteps(BoundedWorker& worker, const TwainExports& api, std::chrono::milliseconds limit);

    using Call = std::function<int(const TwainExports& api, HWND window)>;

    // The lowest state from which a call sends a triplet: below it, the library's codes are an
    // earlier step's. Any call once the manager is loaded; a step back only from above the state
    // it leaves (disabling a source 5, closing one 4, closing the manager 3); loading and
    // unloading the manager never.
    static constexpr int kFromManagerLoaded = 2;
    static constexpr int kSendsNoTriplet = 8;

    // Runs `call` and reads the result code and the condition code (when it sent a triplet, by
    // `sendsFromState`) and the state after it. None when it did not come back in time (the
    // worker is stuck then) or an earlier step did not.
    std::optional<StepAnswer> Step(Call call, int sendsFromState = kFromManagerLoaded);
    // The same for a call that runs the library's message loop: after `limit` the loop is told
    // to quit (WM_QUIT); `interrupted` says whether it had to be.
    std::optional<StepAnswer> LoopStep(Call call, std::chrono::milliseconds limit, bool* interrupted);
    // Work that runs message loops of its own (a script function's dialogs and scan), which
    // captures by value: after `limit` the thread is told to quit (WM_QUIT), and `interrupted`
    // says whether it had to be. False when it did not come back even then.
    using Work = std::function<void(const TwainExports& api, HWND window)>;
    bool RunLoop(Work work, std::chrono::milliseconds limit, bool* interrupted);
    // Any other work on the TWAIN thread (a manager of this program's own, freeing images): the
    // work captures by value. False when it did not come back in time.
    bool Run(Work work);
    // Runs `work` (which captures by value) and answers what it returned; none when it did not
    // come back in time.
    template <class Probe>
    auto Ask(Probe probe) -> std::optional<decltype(probe(std::declval<const TwainExports&>(), HWND{}))> {
        using Answer = decltype(probe(std::declval<const TwainExports&>(), HWND{}));
        auto answer = std::make_shared<std::optional<Answer>>();
        if (!Run([answer, probe](const TwainExports& api, HWND window) mutable { *answer = probe(api, window); }) ||
            !*answer) {
            return std::nullopt;
        }
        return std::move(**answer);
    }

    // The hidden window handed to the manager as its parent, made and destroyed on the TWAIN
    // thread.
    bool OpenWindow();
    void CloseWindow();

    std::chrono::milliseconds Limit() const { return limit_; }
    bool Stuck() const { return worker_.Stuck(); }

private:
    struct Shared {
        TwainExports api;
        HWND window = nullptr;
    };
    std::function<void()> Measured(Call call, int sendsFromState,
                                   std::shared_ptr<std::optional<StepAnswer>> answer) const;

    BoundedWorker& worker_;
    std::shared_ptr<Shared> shared_;
    std::chrono::milliseconds limit_;
};

// "TWAIN_OpenSourceManager = 1: TWRC_SUCCESS, TWCC_SUCCESS, state 3, 0.02 s"
std::wstring StepFact(const wchar_t* name, const StepAnswer& answer);
// "TWRC_FAILURE, TWCC_NODS"; "no triplet" without a result code
std::wstring CodesText(std::optional<int> resultCode, std::optional<int> conditionCode);

// A FAIL line for a TWAIN step that did not come back; the TWAIN checks end there.
void ReportHang(ReportSection& section, const std::wstring& what, std::chrono::milliseconds limit);
// A FAIL line for a TWAIN check not run because an earlier driver call hangs.
void ReportNotRun(ReportSection& section, const std::wstring& what);

}  // namespace kavrel::diag
