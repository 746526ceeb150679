// What a process holds, for tests that run something many times and check that it gives back
// what it takes.
#pragma once

#include <cstddef>
#include <string>

namespace kavrel::test {

struct ProcessResources {
    long handles = 0;        // kernel handles
    long gdiObjects = 0;
    long userObjects = 0;    // windows of the process where the system does not count USER objects
    long long privateBytes = 0;

    std::string Describe() const;
};

// The figures now. Where the system counts (GetProcessHandleCount, GetGuiResources,
// PrivateUsage), its counts; Wine answers 0 for all of those, and then the process is looked at
// directly: the handle values that name a handle, the GDI handle table's used entries, the
// process's windows, and the committed private regions of its address space.
ProcessResources MeasureProcessResources();

}  // namespace kavrel::test
