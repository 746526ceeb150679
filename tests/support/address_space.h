// Making large allocations fail in a 32-bit process, to see what code does when one does.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace kavrel::test {

// For its lifetime, no allocation of `size` bytes or more can succeed anywhere in the process:
// every free region of the address space that could hold one is reserved. The smaller holes stay,
// so the system, the heap and the C library keep working; only large requests fail. Everything
// is given back on destruction.
class LargeAllocationsFail {
public:
    explicit LargeAllocationsFail(std::size_t size);
    ~LargeAllocationsFail();
    LargeAllocationsFail(const LargeAllocationsFail&) = delete;
    LargeAllocationsFail& operator=(const LargeAllocationsFail&) = delete;

    // Whether an allocation of the size really failed (else the test using this proves nothing).
    bool Holds() const { return holds_; }

private:
    std::vector<void*> reserved_;
    bool holds_ = false;
};

}  // namespace kavrel::test
