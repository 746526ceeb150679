// Whether this module's code is running anywhere: every call into it from outside (an export, a
// window procedure, a system callback) counts itself while it runs, on whatever thread. The
// module's detach looks at it: code that is still running -- a modal loop below a host window
// that unloads the module, a call on another thread -- must not be unmapped under itself.
#pragma once

namespace kavrel {

// Counts one call in progress for its lifetime.
class ModuleCallScope {
public:
    ModuleCallScope() noexcept;
    ModuleCallScope(const ModuleCallScope&) = delete;
    ModuleCallScope& operator=(const ModuleCallScope&) = delete;
    ~ModuleCallScope();
};

// Calls into the module in progress now, on all threads.
int ModuleCallsInProgress() noexcept;

}  // namespace kavrel
