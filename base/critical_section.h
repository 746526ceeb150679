// A lock of this process's threads, recursive like every critical section: the thread that holds
// it may take it again. Win32's own, so that taking it can neither throw nor pull in the C++
// run-time's error reporting.
#pragma once

#include <windows.h>

namespace kavrel {

class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { ::DeleteCriticalSection(&section_); }

    void Enter() noexcept { ::EnterCriticalSection(&section_); }
    void Leave() noexcept { ::LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds a critical section for as long as it lives.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) noexcept : section_(section) { section_.Enter(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
    ~CriticalSectionLock() { section_.Leave(); }

private:
    CriticalSection& section_;
};

}  // namespace kavrel
