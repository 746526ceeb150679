#include "tools/kvrdiag/bounded_worker.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "base/no_throw.h"

namespace kavrel::diag {

struct BoundedWorker::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> step;  // the next step, taken by the thread
    bool done = true;            // the last step came back
    bool quit = false;
    DWORD threadId = 0;  // set by the thread once it runs
};

BoundedWorker::BoundedWorker() : shared_(std::make_shared<Shared>()) {
    // The thread waits without pumping messages: whatever a manager posts to a window of this
    // thread stays queued for the step that runs the message loop.
    // Not waited for: a thread can start only once the loader lock is free, and a driver stuck in
    // its DllMain on another worker holds it. A step given to a thread that never starts is a step
    // that does not come back.
    thread_ = std::thread([shared = shared_] {
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->threadId = ::GetCurrentThreadId();
        }
        for (;;) {
            std::function<void()> step;
            {
                std::unique_lock<std::mutex> lock(shared->mutex);
                shared->changed.wait(lock, [&] { return shared->quit || static_cast<bool>(shared->step); });
                if (shared->quit) return;
                step = std::move(shared->step);
                shared->step = nullptr;
            }
            // A step that throws (out of memory) has found nothing; the caller sees no answer.
            NoThrowVoid(step);
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                shared->done = true;
            }
            shared->changed.notify_all();
        }
    });
}

BoundedWorker::~BoundedWorker() {
    if (stuck_) {
        thread_.detach();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->quit = true;
    }
    shared_->changed.notify_all();
    thread_.join();
}

bool BoundedWorker::Wait(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    return shared_->changed.wait_for(lock, limit, [&] { return shared_->done; });
}

BoundedWorker::Outcome BoundedWorker::RunWithin(std::function<void()> step, std::chrono::milliseconds limit) {
    if (stuck_) return Outcome::NotRun;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->step = std::move(step);
        shared_->done = false;
    }
    shared_->changed.notify_all();
    if (Wait(limit)) return Outcome::Done;
    stuck_ = true;
    return Outcome::Hung;
}

BoundedWorker::Outcome BoundedWorker::Run(std::function<void()> step, Bounds bounds) {
    const Outcome outcome = RunWithin(std::move(step), bounds.limit);
    if (outcome != Outcome::Hung || bounds.grace.count() <= 0) return outcome;
    const auto grace = bounds.grace;
    DWORD threadId = 0;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        threadId = shared_->threadId;
    }
    // One quit ends the loop it reaches; a box the step opens after it (an error message of the
    // library's) has a loop of its own. So the quit is posted again until the step comes back.
    const auto giveUp = std::chrono::steady_clock::now() + grace;
    for (;;) {
        if (threadId) ::PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Outcome::Hung;
        if (Wait(std::min(left, std::chrono::milliseconds(200)))) break;
    }
    stuck_ = false;
    // A quit posted as the step came back, or posted again by a dialog's loop for a loop around
    // it, must not end the next step's loop at once.
    const Outcome drained = RunWithin(
        [] {
            MSG message;
            while (::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
            }
        },
        grace);
    return drained == Outcome::Done ? Outcome::Interrupted : drained;
}

}  // namespace kavrel::diag
