// Small owners for Windows handles: each closes exactly what it was given, once.
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

namespace kavrel {

namespace detail {
// Whether a value is one to close: not the traits' empty value, and for traits that know of more
// than one value that is no handle (valid()), none of those.
template <class Traits, class = void>
struct HandleCheck {
    static bool Holds(typename Traits::Value value) noexcept { return value != Traits::empty(); }
};
template <class Traits>
struct HandleCheck<Traits, std::void_t<decltype(Traits::valid(std::declval<typename Traits::Value>()))>> {
    static bool Holds(typename Traits::Value value) noexcept { return Traits::valid(value); }
};
}  // namespace detail

// A move-only owner of one handle value; Traits says what "empty" is and how to close it.
template <class Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Value value) noexcept : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Value get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return detail::HandleCheck<Traits>::Holds(value_); }

    // Gives up ownership without closing.
    Value release() noexcept { return std::exchange(value_, Traits::empty()); }

    void reset(Value value = Traits::empty()) noexcept {
        Value old = std::exchange(value_, value);
        if (detail::HandleCheck<Traits>::Holds(old)) Traits::close(old);
    }

private:
    Value value_ = Traits::empty();
};

// Kernel objects fail two ways: CreateFile answers INVALID_HANDLE_VALUE, CreateThread,
// CreateEvent, CreateJobObject, OpenProcess and the like answer NULL. Neither is a handle.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(Value h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Value h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Value = HANDLE;
    static Value empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Value h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {
    using Value = HMODULE;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::FreeLibrary(h); }
};
struct GlobalBlockTraits {
    using Value = HGLOBAL;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::GlobalFree(h); }
};
struct WindowTraits {
    using Value = HWND;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::DestroyWindow(h); }
};
struct GdiObjectTraits {
    using Value = HGDIOBJ;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::DeleteObject(h); }
};
struct CreatedDcTraits {
    using Value = HDC;
    static Value empty() noexcept { return nullptr; }
    static void close(Value h) noexcept { ::DeleteDC(h); }
};
// A file opened with the simple file interface (OpenFile / _lopen); HFILE_ERROR is "none".
struct SimpleFileTraits {
    using Value = HFILE;
    static Value empty() noexcept { return HFILE_ERROR; }
    static void close(Value h) noexcept { ::_lclose(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using Module = UniqueHandle<ModuleTraits>;
using GlobalBlock = UniqueHandle<GlobalBlockTraits>;
using Window = UniqueHandle<WindowTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using CreatedDc = UniqueHandle<CreatedDcTraits>;
using SimpleFile = UniqueHandle<SimpleFileTraits>;

// A GDI object of a known type (HBITMAP, HPALETTE, HFONT...).
template <class T>
class GdiHandle {
public:
    GdiHandle() noexcept = default;
    explicit GdiHandle(T value) noexcept : object_(value) {}
    T get() const noexcept { return static_cast<T>(object_.get()); }
    explicit operator bool() const noexcept { return static_cast<bool>(object_); }
    T release() noexcept { return static_cast<T>(object_.release()); }
    void reset(T value = nullptr) noexcept { object_.reset(value); }

private:
    GdiObject object_;
};

using Bitmap = GdiHandle<HBITMAP>;
using Palette = GdiHandle<HPALETTE>;
using Font = GdiHandle<HFONT>;
using Brush = GdiHandle<HBRUSH>;

// A device context borrowed from a window with GetDC; released to the same window.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC for the lifetime of the guard and restores the previous one.
class SelectionGuard {
public:
    SelectionGuard(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    SelectionGuard(const SelectionGuard&) = delete;
    SelectionGuard& operator=(const SelectionGuard&) = delete;
    ~SelectionGuard() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Locks a global memory block for the lifetime of the guard. data() is null when the lock failed.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block) noexcept
        : block_(block), data_(block ? ::GlobalLock(block) : nullptr) {}
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() {
        if (data_) ::GlobalUnlock(block_);
    }
    void* data() const noexcept { return data_; }
    unsigned char* bytes() const noexcept { return static_cast<unsigned char*>(data_); }
    explicit operator bool() const noexcept { return data_ != nullptr; }
    // Bytes the block really holds; what any header inside it claims must fit in this.
    SIZE_T size() const noexcept { return data_ ? ::GlobalSize(block_) : 0; }

private:
    HGLOBAL block_;
    void* data_;
};

}  // namespace kavrel
