#include "tools/kvrdiag/twain_steps.h"

#include "tools/kvrdiag/text.h"
#include "twain/code_names.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {

using namespace twain;

TwainSteps::TwainSteps(BoundedWorker& worker, const TwainExports& api, std::chrono::milliseconds limit)
    : worker_(worker), shared_(std::make_shared<Shared>()), limit_(limit) {
    shared_->api = api;
}

std::function<void()> TwainSteps::Measured(Call call, int sendsFromState,
                                           std::shared_ptr<std::optional<StepAnswer>> answer) const {
    return [shared = shared_, call = std::move(call), sendsFromState, answer] {
        const TwainExports& api = shared->api;
        StepAnswer a;
        const int stateBefore = api.TWAIN_State();
        const double start = Now();
        a.returned = call(api, shared->window);
        a.seconds = Now() - start;
        a.state = api.TWAIN_State();
        // A call that sent no triplet leaves the library's codes as an earlier step set them:
        // they are not this one's. Without a manager loaded before or after the call (state 1)
        // it sent none, nor a step back from below the state it leaves.
        const bool sent = stateBefore >= sendsFromState && (stateBefore >= 2 || a.state >= 2);
        if (!sent) {
            *answer = a;
            return;
        }
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
        *answer = a;
    };
}

std::optional<StepAnswer> TwainSteps::Step(Call call, int sendsFromState) {
    auto answer = std::make_shared<std::optional<StepAnswer>>();
    if (worker_.Run(Measured(std::move(call), sendsFromState, answer), limit_) !=
        BoundedWorker::Outcome::Done) {
        return std::nullopt;
    }
    return *answer;
}

std::optional<StepAnswer> TwainSteps::LoopStep(Call call, std::chrono::milliseconds limit, bool* interrupted) {
    auto answer = std::make_shared<std::optional<StepAnswer>>();
    const auto outcome = worker_.RunInterruptible(Measured(std::move(call), kFromManagerLoaded, answer), limit, limit_);
    *interrupted = outcome == BoundedWorker::Outcome::Interrupted;
    if (outcome != BoundedWorker::Outcome::Done && !*interrupted) return std::nullopt;
    return *answer;
}

bool TwainSteps::RunLoop(Work work, std::chrono::milliseconds limit, bool* interrupted) {
    const auto outcome = worker_.RunInterruptible(
        [shared = shared_, work = std::move(work)] { work(shared->api, shared->window); }, limit, limit_);
    *interrupted = outcome == BoundedWorker::Outcome::Interrupted;
    return outcome == BoundedWorker::Outcome::Done || *interrupted;
}

bool TwainSteps::Run(Work work) {
    return worker_.Run([shared = shared_, work = std::move(work)] { work(shared->api, shared->window); }, limit_) ==
           BoundedWorker::Outcome::Done;
}

bool TwainSteps::OpenWindow() {
    auto made = std::make_shared<bool>(false);
    const bool ran = worker_.Run(
                         [shared = shared_, made] {
                             if (!shared->window) {
                                 shared->window = ::CreateWindowExA(0, "STATIC", "kvrdiag", WS_POPUP, 0, 0, 0, 0,
                                                                    nullptr, nullptr, nullptr, nullptr);
                             }
                             *made = shared->window != nullptr;
                         },
                         limit_) == BoundedWorker::Outcome::Done;
    return ran && *made;
}

void TwainSteps::CloseWindow() {
    worker_.Run(
        [shared = shared_] {
            if (shared->window) ::DestroyWindow(shared->window);
            shared->window = nullptr;
        },
        limit_);
}

std::wstring CodesText(std::optional<int> resultCode, std::optional<int> conditionCode) {
    std::wstring text = L"no triplet";
    if (resultCode) {
        text = FromAnsi(twainlib::ResultCodeName(*resultCode));
        if (text == L"unknown") text = L"result code " + std::to_wstring(*resultCode);
    }
    if (conditionCode) {
        const std::wstring condition = FromAnsi(twainlib::ConditionCodeName(*conditionCode));
        text += L", " + (condition == L"unknown" ? L"condition code " + std::to_wstring(*conditionCode) : condition);
    }
    return text;
}

std::wstring StepFact(const wchar_t* name, const StepAnswer& answer) {
    return std::wstring(name) + L" = " + std::to_wstring(answer.returned) + L": " +
           CodesText(answer.resultCode, answer.conditionCode) + L", state " + std::to_wstring(answer.state) + L", " +
           Seconds(answer.seconds);
}

void ReportHang(ReportSection& section, const std::wstring& what, std::chrono::milliseconds limit) {
    section.Fail(what + L" did not come back in " + std::to_wstring(limit.count() / 1000) +
                     L" s: the driver hangs there, and the TWAIN checks stop",
                 L"switch the scanner off and on and reconnect its cable, then run kvrdiag again; if it still hangs, "
                 L"reinstall the scanner's TWAIN driver");
}

void ReportNotRun(ReportSection& section, const std::wstring& what) {
    section.Fail(what + L" not run: a TWAIN driver call before it hangs (section 3)",
                 L"see to the hanging driver first (section 3)");
}

}  // namespace kavrel::diag
