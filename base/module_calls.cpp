#include "base/module_calls.h"

#include <atomic>

namespace kavrel {

namespace {
// Constant-initialised and trivially destroyed: it counts right through the run-time's start-up
// and tear-down of the module.
std::atomic<int> callsInProgress{0};
}  // namespace

ModuleCallScope::ModuleCallScope() noexcept { callsInProgress.fetch_add(1, std::memory_order_relaxed); }

ModuleCallScope::~ModuleCallScope() { callsInProgress.fetch_sub(1, std::memory_order_relaxed); }

int ModuleCallsInProgress() noexcept { return callsInProgress.load(std::memory_order_relaxed); }

}  // namespace kavrel
