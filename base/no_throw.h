// The one guard at every boundary where a caller or the system calls into this code: exported
// functions, window procedures, enumeration and other system callbacks, the data source's entry.
//
// No exception may cross such a boundary. The callers are C code, the host interpreter, or the
// system's own frames (user32 calling a window procedure), which this compiler's unwinding cannot
// pass: an exception reaching one ends the host's process. Inside, code may throw (std::bad_alloc
// at the least); at the boundary it becomes the function's documented failure value.
#pragma once

#include <utility>

#include "base/module_calls.h"

namespace kavrel {

// Each of them also counts the call as in progress in the module while it runs (module_calls.h).

// Runs `body` and answers its result, or `failure` when it throws.
template <class Result, class Body>
Result NoThrow(Result failure, Body&& body) noexcept {
    const ModuleCallScope inProgress;
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

// Runs `body`; when it throws, answers what `onFailure` gives (which must not throw itself).
template <class Body, class OnFailure>
auto NoThrowOr(Body&& body, OnFailure&& onFailure) noexcept -> decltype(body()) {
    const ModuleCallScope inProgress;
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return std::forward<OnFailure>(onFailure)();
    }
}

// Runs `body`, which answers nothing; an exception ends it there.
template <class Body>
void NoThrowVoid(Body&& body) noexcept {
    const ModuleCallScope inProgress;
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace kavrel
