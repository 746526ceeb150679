// Steps that reach drivers (a TWAIN manager and its sources, the print spooler, a file server),
// each run on a thread of its own and waited for at most a given time, so that a driver that
// never comes back cannot keep the report from being printed.
//
// A step that has not come back in time leaves its worker stuck: nothing more runs on it, and
// its thread is left to itself (it may be inside a driver's DllMain, holding the loader lock, or
// inside a source's DS_Entry). The program then ends without waiting for it (kvrdiag_main.cpp).
//
// A step may still be running after Run has given up on it, so it must not refer to anything
// that dies before the process: it captures by value, and what it finds goes into memory it
// shares ownership of (BoundedWorker::Ask).
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace kavrel::diag {

// How long a step may take. A step that runs message loops (a modal loop, a script function's
// dialogs) gets a grace: once `limit` has passed, WM_QUIT is posted to the worker's thread (again
// and again, for each loop the step enters after it), and the step has `grace` more to come back;
// no quit is left queued for the next step. Without a grace nothing is posted.
struct Bounds {
    std::chrono::milliseconds limit;
    std::chrono::milliseconds grace{0};
};

class BoundedWorker {
public:
    BoundedWorker();
    ~BoundedWorker();
    BoundedWorker(const BoundedWorker&) = delete;
    BoundedWorker& operator=(const BoundedWorker&) = delete;

    // The one way work runs here: `probe` (which captures by value only) runs on the worker's
    // thread, and Ask answers what it returned, or nothing when it did not come back within its
    // bounds (or the worker was stuck already). `interrupted`, when given, says whether it came
    // back only after the quit its grace posted.
    template <class Probe>
    auto Ask(Bounds bounds, Probe probe, bool* interrupted = nullptr) -> std::optional<decltype(probe())> {
        using Answer = decltype(probe());
        auto answer = std::make_shared<std::optional<Answer>>();
        const Outcome outcome = Run([answer, probe]() mutable { *answer = probe(); }, bounds);
        if (interrupted) *interrupted = outcome == Outcome::Interrupted;
        if ((outcome != Outcome::Done && outcome != Outcome::Interrupted) || !*answer) return std::nullopt;
        return std::move(**answer);
    }

    bool Stuck() const { return stuck_; }

private:
    enum class Outcome {
        Done,         // the step came back in time
        Interrupted,  // it came back only after its thread was told to quit
        Hung,         // it did not come back; the worker is stuck from now on
        NotRun,       // the worker was already stuck
    };
    struct Shared;
    Outcome Run(std::function<void()> step, Bounds bounds);
    Outcome RunWithin(std::function<void()> step, std::chrono::milliseconds limit);
    bool Wait(std::chrono::milliseconds limit);

    std::shared_ptr<Shared> shared_;  // the thread holds it too: a stuck thread may still use it
    std::thread thread_;
    bool stuck_ = false;
};

}  // namespace kavrel::diag
