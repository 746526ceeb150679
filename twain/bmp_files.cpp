// DIBs written to and read from Windows bitmap files, with the save and open dialogs used when no
// file name is given.
#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <string>

#include "base/no_throw.h"
#include "base/replacement_file.h"
#include "base/win_handles.h"
#include "layout/bmp_layout.h"
#include "layout/dib_layout.h"
#include "layout/byte_fields.h"
#include "twain/library_state.h"

using kavrel::GlobalBlock;
using kavrel::GlobalLockGuard;
using kavrel::KernelHandle;
using kavrel::ReplacementFile;
using kavrel::SimpleFile;
using namespace kavrel::layout;
using namespace kavrel::twainlib;

namespace {

constexpr int kWritten = 0;
constexpr int kCancelled = -1;
constexpr int kNotCreated = -2;
constexpr int kNotLockable = -3;
constexpr int kWriteFailed = -4;

// The simple file interface keeps paths in a 128-character buffer; longer names do not open.
constexpr std::size_t kOpenFileMaxPath = OFS_MAXPATHNAME;

constexpr std::size_t kNameBuffer = 256;
constexpr DWORD kNameBufferTold = 251;  // room left to append ".bmp" and the terminator
constexpr DWORD kDialogFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOREADONLYRETURN;

// Asks the operator for a file name with the save or open dialog; empty when cancelled.
std::string AskForFileName(bool save) {
    char name[kNameBuffer] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = nullptr;
    dialog.lpstrFilter = save ? "Windows Bitmap (*.bmp)\0*.bmp\0" : "Windows Bitmaps (*.bmp)\0*.bmp\0";
    dialog.lpstrFile = name;
    dialog.nMaxFile = kNameBufferTold;
    dialog.Flags = kDialogFlags;
    const BOOL chosen = save ? ::GetSaveFileNameA(&dialog) : ::GetOpenFileNameA(&dialog);
    if (!chosen) return {};
    std::string result(name);
    // A name typed without an extension gets ".bmp"; one with an extension, or ending in a dot,
    // stays as typed. This is judged from the name itself: dialogs do not agree on what their
    // extension offset says for a name without an extension or with a final dot.
    const auto nameStart = result.find_last_of("\\/:");
    const std::string file = nameStart == std::string::npos ? result : result.substr(nameStart + 1);
    if (file.find('.') == std::string::npos) result += ".bmp";
    return result;
}

HFILE OpenSimpleFile(const std::string& name, UINT mode) {
    if (name.size() >= kOpenFileMaxPath) return HFILE_ERROR;
    OFSTRUCT of{};
    return ::OpenFile(name.c_str(), &of, mode);
}

// Whether the memory at `at` may be written: a DIB in read-only memory (a bitmap resource) is
// only read.
bool Writable(const void* at) {
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(at, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT) return false;
    const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (region.Protect & writable) != 0 && !(region.Protect & PAGE_GUARD);
}

// Writes a DIB of which `available` bytes may be read. 1 written, 0 failed.
int WriteDib(std::uint8_t* dib, std::size_t available, HFILE file) {
    const BmpPlan plan = PlanBmpFile(dib, available);
    if (plan.result != BmpPlanResult::Write) return 0;
    std::uint8_t fileHeader[kBmpFileHeaderSize];
    FillBmpFileHeader(plan, fileHeader);
    // The file header and the DIB's own go out in one write. For uncompressed rows (plain or bit
    // fields) the DIB's header carries the counted image size, so that the file says what it
    // holds; the DIB itself is given it too, where its memory may be written.
    std::uint8_t headers[kBmpHeadersSize];
    std::memcpy(headers, fileHeader, sizeof fileHeader);
    std::memcpy(headers + kBmpFileHeaderSize, dib, kInfoHeaderSize);
    const std::uint32_t compression = LoadField<std::uint32_t>(dib + 16);
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        StoreField<std::uint32_t>(headers + kBmpFileHeaderSize + 20, plan.sizeImage);
        if (Writable(dib + 20)) StoreField<std::uint32_t>(dib + 20, plan.sizeImage);
    }
    if (::_lwrite(file, reinterpret_cast<LPCCH>(headers), sizeof headers) != sizeof headers) return 0;
    const UINT rest = plan.fileSize - kBmpHeadersSize;
    return ::_lwrite(file, reinterpret_cast<LPCCH>(dib + kInfoHeaderSize), rest) == rest ? 1 : 0;
}

// The bytes that may be read from `at` on: the committed, readable regions of memory that follow
// one another from there, up to kMostReadable. Memory a caller hands over without its size is
// bounded by it, so that a header claiming more than lies there is refused instead of read past
// the end of what is mapped.
std::size_t ReadableBytesFrom(const void* at) {
    constexpr std::size_t kMostReadable = std::size_t{1} << 30;
    const auto* start = static_cast<const std::uint8_t*>(at);
    std::size_t readable = 0;
    MEMORY_BASIC_INFORMATION region{};
    while (readable < kMostReadable && ::VirtualQuery(start + readable, &region, sizeof region) == sizeof region) {
        const DWORD protect = region.Protect;
        if (region.State != MEM_COMMIT || protect == 0 || (protect & (PAGE_NOACCESS | PAGE_GUARD))) break;
        const auto* end = static_cast<const std::uint8_t*>(region.BaseAddress) + region.RegionSize;
        if (end <= start + readable) break;  // the top of the address space
        readable = static_cast<std::size_t>(end - start);
    }
    return readable;
}

// Whether a bitmap file of this name could be written, as far as can be told without making it:
// a name the simple file interface takes, in a folder that is there, and no directory or
// read-only file in its place. (A file another program holds open is found only when written.)
bool FileCanBeMade(const std::string& name) {
    if (name.size() >= kOpenFileMaxPath) return false;
    // (A full path past MAX_PATH is one the replacement file cannot be made beside either.)
    char full[MAX_PATH] = {};
    char* fileName = nullptr;
    const DWORD length = ::GetFullPathNameA(name.c_str(), sizeof full, full, &fileName);
    if (length == 0 || length >= sizeof full || !fileName || fileName == full) return false;
    const DWORD target = ::GetFileAttributesA(full);
    if (target != INVALID_FILE_ATTRIBUTES && (target & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) return false;
    *fileName = '\0';
    const DWORD folder = ::GetFileAttributesA(full);
    return folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY);
}

// The image an acquisition hands on to a file or the clipboard: the last that arrived. When a
// transfer after it failed, TWAIN_AcquireNative returns none although images arrived (a source
// whose pending count never falls ends every batch so); the last image that did arrive is handed
// on then, rather than reported as none and left in the list. Only while the list still holds
// it: the list holds what the caller may free, and a transfer callback that took the image out
// of it (TWAIN_ClearDibList) took it as its own, to keep or to free; writing and freeing it here
// would free it under the callback's owner, or a second time. Inside another acquisition (from a
// window message its loop dispatched) that call is refused, and the running acquisition's image
// is not this call's to write or give away: none.
HANDLE AcquireLastImage(HWND window, unsigned long pixelTypeMask) {
    if (InsideAnAcquisition()) return nullptr;
    TWAIN_AcquireNative(window, pixelTypeMask);
    const auto& s = State();
    const HANDLE dib = s.acquisition.LastArrived();
    for (int i = s.dibCount - 1; dib && i >= 0; --i) {
        if (s.dibList[i] == dib) return dib;
    }
    return nullptr;
}

}  // namespace

TWAIN_API int WINAPI TWAIN_WriteDibToFile(LPBITMAPINFOHEADER dib, HFILE file) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        if (!dib) return 0;
        // A pointer into a global memory block is bounded by that block; other memory (or a
        // pointer GlobalHandle does not know, one inside a block) by what is readable from it.
        std::size_t available = ReadableBytesFrom(dib);
        if (HGLOBAL block = ::GlobalHandle(dib)) {
            GlobalLockGuard locked(block);
            const auto* at = reinterpret_cast<const std::uint8_t*>(dib);
            if (locked && at >= locked.bytes() && at < locked.bytes() + locked.size()) {
                available = locked.size() - static_cast<std::size_t>(at - locked.bytes());
            }
        }
        return WriteDib(reinterpret_cast<std::uint8_t*>(dib), available, file);
    });
}

TWAIN_API int WINAPI TWAIN_WriteNativeToFile(HANDLE dib, HFILE file) {
    return kavrel::NoThrow(int{kWriteFailed}, [&]() -> int {
        GlobalLockGuard locked(dib);
        if (!locked) return kNotLockable;
        return WriteDib(locked.bytes(), locked.size(), file) ? kWritten : kWriteFailed;
    });
}

TWAIN_API int WINAPI TWAIN_WriteNativeToFilename(HANDLE dib, LPCSTR fileName) {
    return kavrel::NoThrow(int{kWriteFailed}, [&]() -> int {
        std::string name = fileName ? fileName : "";
        if (name.empty()) {
            name = AskForFileName(true);
            if (name.empty()) return kCancelled;
        }
        if (name.size() >= kOpenFileMaxPath) return kNotCreated;
        // The bitmap is written beside the file and moved over it only once complete: a DIB that
        // is refused, a full disk or any other failed write leaves the caller's earlier image
        // whole, and where there was none, nothing. A file that is there must be one this call may
        // replace (as creating it over with OF_CREATE and OF_SHARE_EXCLUSIVE would require); it is
        // not cut to length 0 first.
        ReplacementFile file(name);
        if (file.TargetRefused()) return kNotCreated;
        if (!file.Created()) {
            // No new file can be made beside it (a share that lets existing files be written but
            // no file be created): the bitmap is written in place, as the simple file interface
            // always did -- once the DIB is known to be writable, so that one that is refused
            // leaves the file as it was. Only a write failing half-way still spoils it here.
            {
                GlobalLockGuard locked(dib);
                if (!locked) return kNotLockable;
                if (PlanBmpFile(locked.bytes(), locked.size()).result != BmpPlanResult::Write) return kWriteFailed;
            }
            SimpleFile inPlace(OpenSimpleFile(name, OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE));
            if (!inPlace) return kNotCreated;
            return TWAIN_WriteNativeToFile(dib, inPlace.get());
        }
        // The simple file interface's handle of a Win32 file is that file's handle.
        const int result = TWAIN_WriteNativeToFile(dib, static_cast<HFILE>(reinterpret_cast<INT_PTR>(file.Handle())));
        if (result == kWritten && !file.Commit()) return kNotCreated;
        return result;
    });
}

TWAIN_API HANDLE WINAPI TWAIN_LoadNativeFromFile(HFILE file) {
    return kavrel::NoThrow(HANDLE{nullptr}, [&]() -> HANDLE {
        std::uint8_t bytes[kBmpFileHeaderSize];
        if (::_lread(file, bytes, sizeof bytes) != sizeof bytes) return nullptr;
        const auto header = ReadBmpFileHeader(bytes, sizeof bytes);
        if (!header) return nullptr;
        // The header's size is checked against the file before anything is allocated: a bitmap
        // cannot be longer than its file, nor shorter than a bitmap header.
        const LONG here = ::_llseek(file, 0, FILE_CURRENT);
        const LONG end = ::_llseek(file, 0, FILE_END);
        ::_llseek(file, here, FILE_BEGIN);
        if (here < 0 || end < here) return nullptr;
        const auto size = BmpDibBytes(*header, static_cast<std::uint64_t>(end - here));
        if (!size) return nullptr;
        GlobalBlock block(::GlobalAlloc(GMEM_FIXED, *size));
        if (!block) return nullptr;
        std::size_t packedSize = *size;
        {
            GlobalLockGuard locked(block.get());
            if (!locked) return nullptr;
            if (::_hread(file, locked.data(), static_cast<LONG>(*size)) != static_cast<LONG>(*size)) return nullptr;
            ClaimOnlyTheTableGdiReads(locked.bytes(), *size);
            // Pixels the file header places past the colour table (some writers leave a gap) are
            // moved to where a DIB in memory keeps them, or the image would be drawn from the gap.
            if (const auto gap = kavrel::layout::PixelGapOf(locked.bytes(), *size, header->offBits)) {
                std::memmove(locked.bytes() + gap->at, locked.bytes() + gap->at + gap->bytes,
                             *size - gap->at - gap->bytes);
                packedSize -= gap->bytes;
            }
        }
        if (packedSize != *size) {
            // Shrunk in place (a fixed block is not moved); kept as it is should that be refused.
            if (HGLOBAL shrunk = ::GlobalReAlloc(block.get(), packedSize, 0); shrunk && shrunk != block.get()) {
                static_cast<void>(block.release());
                block.reset(shrunk);
            }
        }
        return block.release();
    });
}

TWAIN_API HANDLE WINAPI TWAIN_LoadNativeFromFilename(LPCSTR fileName) {
    return kavrel::NoThrow(HANDLE{nullptr}, [&]() -> HANDLE {
        std::string name = fileName ? fileName : "";
        if (name.empty()) {
            name = AskForFileName(false);
            if (name.empty()) return nullptr;
        }
        SimpleFile file(OpenSimpleFile(name, OF_READ | OF_SHARE_DENY_WRITE));
        if (!file) return nullptr;
        return TWAIN_LoadNativeFromFile(file.get());
    });
}

TWAIN_API int WINAPI TWAIN_AcquireToFilename(HWND window, LPCSTR fileName) {
    return kavrel::NoThrow(int{kWriteFailed}, [&]() -> int {
        // A name given that no file can be made of is refused before the scan, with the answer
        // the write would give after it: else the operator's page is scanned only to be lost.
        if (fileName && *fileName && !FileCanBeMade(fileName)) return kNotCreated;
        HANDLE dib = AcquireLastImage(window, 0);
        if (!dib) return kCancelled;
        // The save dialog, if any, comes after the scan. The image is freed here, so the list,
        // whose images are the caller's to free, no longer offers it.
        const int result = TWAIN_WriteNativeToFilename(dib, fileName);
        Unlist(dib);
        TWAIN_FreeNative(dib);
        return result;
    });
}

TWAIN_API int WINAPI TWAIN_AcquireToClipboard(HWND window, unsigned long pixelTypeMask) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        GlobalBlock image(AcquireLastImage(window, pixelTypeMask));
        if (!image) return 0;
        // Given to the clipboard or freed here, the block is not the caller's any more.
        Unlist(image.get());
        // A handle that names no window (one already destroyed) was replaced by the proxy for the
        // acquisition; the clipboard is opened without one too, as for a null handle, rather than
        // refused after the page was scanned.
        if (!::OpenClipboard(::IsWindow(window) ? window : nullptr)) return 0;
        // The clipboard owns the block only once SetClipboardData has taken it: one it refuses
        // (no clipboard owner, no memory) is still this call's to free, and the call has failed.
        const bool handedOver = ::EmptyClipboard() && ::SetClipboardData(CF_DIB, image.get());
        ::CloseClipboard();
        if (!handedOver) return 0;
        image.release();
        return 1;
    });
}
