// The TWAIN checks' steps: each export call runs on the TWAIN worker's thread (the thread of
// the window the manager is given, and of the message loop), bounded in time, and comes back
// with what the library says after it.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "tools/kvrdiag/bounded_worker.h"
#include "tools/kvrdiag/report.h"
#include "tools/kvrdiag/words.h"
#include "twain/export_binding.h"

namespace kavrel::diag {

// The TWAIN exports of the Kavrel.dll under test, bound by name from the module the host stand-in
// loaded (module_check.cpp): the checks call the very functions a script's kvrscan goes through.
// Every export of the library, the file exports among them: a module that lacks one is not the
// module the release ships.
struct TwainExports {
#define KVRDIAG_DECLARE_EXPORT(name) decltype(&::name) name = nullptr;
    KAVREL_TWAIN_EXPORTS(KVRDIAG_DECLARE_EXPORT)
    KAVREL_TWAIN_FILE_EXPORTS(KVRDIAG_DECLARE_EXPORT)
#undef KVRDIAG_DECLARE_EXPORT
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
    // worker is stuck then) or an earlier step did not. A call that runs the library's message
    // loop is given `bounds` with a grace (see Ask).
    std::optional<StepAnswer> Step(Call call, int sendsFromState = kFromManagerLoaded,
                                   std::optional<Bounds> bounds = std::nullopt, bool* interrupted = nullptr);
    // Any other work on the TWAIN thread (a manager connection of this program's own, freeing
    // images, a script function's dialogs and scan), which captures by value; answers what it
    // returned, none when it did not come back within `bounds` (a step's limit when not given).
    template <class Probe>
    auto Ask(Probe probe, std::optional<Bounds> bounds = std::nullopt, bool* interrupted = nullptr)
        -> std::optional<decltype(probe(std::declval<const TwainExports&>(), HWND{}))> {
        return worker_.Ask(
            bounds.value_or(Bounds{limit_}),
            [shared = shared_, probe]() mutable { return probe(shared->api, shared->window); }, interrupted);
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
    static StepAnswer Measured(const Call& call, int sendsFromState, const TwainExports& api, HWND window);

    BoundedWorker& worker_;
    std::shared_ptr<Shared> shared_;
    std::chrono::milliseconds limit_;
};

}  // namespace kavrel::diag
