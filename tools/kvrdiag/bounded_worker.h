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
// shares ownership of (Ask below).
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace kavrel::diag {

class BoundedWorker {
public:
    enum class Outcome {
        Done,         // the step came back in time
        Interrupted,  // it came back only after its thread was told to quit (RunInterruptible)
        Hung,         // it did not come back; the worker is stuck from now on
        NotRun,       // the worker was already stuck
    };

    BoundedWorker();
    ~BoundedWorker();
    BoundedWorker(const BoundedWorker&) = delete;
    BoundedWorker& operator=(const BoundedWorker&) = delete;

    Outcome Run(std::function<void()> step, std::chrono::milliseconds limit);
    // For a step that runs a message loop: when `limit` has passed, WM_QUIT is posted to the
    // worker's thread (again and again, for each loop the step enters after it), and the step
    // has `grace` more to come back; no quit is left queued for the next step.
    Outcome RunInterruptible(std::function<void()> step, std::chrono::milliseconds limit,
                             std::chrono::milliseconds grace);

    bool Stuck() const { return stuck_; }

private:
    struct Shared;
    bool Wait(std::chrono::milliseconds limit);

    std::shared_ptr<Shared> shared_;  // the thread holds it too: a stuck thread may still use it
    std::thread thread_;
    bool stuck_ = false;
};

// Runs `probe` on `worker` and answers what it returned, or nothing when it did not come back
// in time (or the worker was stuck). The probe must capture by value only.
template <class Probe>
auto Ask(BoundedWorker& worker, std::chrono::milliseconds limit, Probe probe) -> std::optional<decltype(probe())> {
    using Answer = decltype(probe());
    auto answer = std::make_shared<std::optional<Answer>>();
    const auto outcome = worker.Run([answer, probe]() mutable { *answer = probe(); }, limit);
    if (outcome != BoundedWorker::Outcome::Done || !*answer) return std::nullopt;
    return std::move(**answer);
}

}  // namespace kavrel::diag
