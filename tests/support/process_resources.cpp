#include "support/process_resources.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdint>

namespace kavrel::test {

namespace {

long KernelHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) return static_cast<long>(count);
    // Handle values are multiples of 4; those that name a handle answer GetHandleInformation.
    long n = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x40000; value += 4) {
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++n;
    }
    return n;
}

// Wine's GDI handle table, which the process environment block points at (as Windows' does, in
// another layout): 65536 entries of 24 bytes, a used one with a non-zero type.
#pragma pack(push, 1)
struct WineGdiHandleEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t userPointer;
};
#pragma pack(pop)
static_assert(sizeof(WineGdiHandleEntry) == 24);
constexpr std::size_t kGdiSharedHandleTableOffset = 0x94;  // in a 32-bit PEB

// MinGW's NtCurrentTeb reads fs:[0x18] through a zero-length array, which GCC 12 reports as an
// out-of-bounds access once inlined.
const unsigned char* ThisPeb() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    return reinterpret_cast<const unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
#pragma GCC diagnostic pop
}

long GdiObjects() {
    if (const DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<long>(n);
    const auto* peb = ThisPeb();
    const auto* table = *reinterpret_cast<const WineGdiHandleEntry* const*>(peb + kGdiSharedHandleTableOffset);
    if (!table) return -1;
    long n = 0;
    for (int i = 0; i < 0x10000; ++i) {
        if (table[i].type) ++n;
    }
    return n;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) {
        ++*reinterpret_cast<long*>(count);
        ::EnumChildWindows(window, &CountWindow, count);
    }
    return TRUE;
}

long UserObjects() {
    if (const DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)) return static_cast<long>(n);
    long n = 0;
    ::EnumWindows(&CountWindow, reinterpret_cast<LPARAM>(&n));
    for (HWND w = ::FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = ::FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr)) {
        CountWindow(w, reinterpret_cast<LPARAM>(&n));
    }
    return n;
}

long long PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters) &&
        counters.PrivateUsage > 0) {
        return static_cast<long long>(counters.PrivateUsage);
    }
    long long total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<long long>(region.RegionSize);
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

}  // namespace

ProcessResources MeasureProcessResources() {
    ProcessResources r;
    r.handles = KernelHandles();
    r.gdiObjects = GdiObjects();
    r.userObjects = UserObjects();
    r.privateBytes = PrivateBytes();
    return r;
}

std::string ProcessResources::Describe() const {
    return std::to_string(handles) + " handles, " + std::to_string(gdiObjects) + " GDI objects, " +
           std::to_string(userObjects) + " USER objects (windows), " +
           std::to_string(privateBytes / 1024) + " KB private memory";
}

}  // namespace kavrel::test
