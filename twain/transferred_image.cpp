#include "twain/transferred_image.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/win_handles.h"
#include "layout/dib_layout.h"

namespace kavrel::twainlib {

namespace {

// A global memory block that holds bytes and can be locked.
bool IsMemoryBlock(HANDLE handle) {
    if (!handle || ::GlobalSize(handle) == 0) return false;
    return static_cast<bool>(GlobalLockGuard(handle));
}

// Whether a memory block holds a packed DIB that can be drawn and written: a bit count GDI draws,
// the colour table a palette depth needs, and every size the header claims inside the block. A
// source may hand over anything (Wine's SANE bridge gives 1-bit DIBs without a colour table and
// 48-bit ones); such a block would draw nothing and fail to save far from the cause.
bool HoldsUsableDib(HANDLE block) {
    GlobalLockGuard locked(block);
    return locked && layout::InspectDib(locked.bytes(), locked.size()).has_value();
}

// The depth of the packed DIB a bitmap of `bitsPerPixel` becomes: palette bitmaps keep a palette
// of their own depth, anything deeper becomes 24-bit colour.
WORD PackedDepth(int bitsPerPixel) {
    if (bitsPerPixel <= 1) return 1;
    if (bitsPerPixel <= 4) return 4;
    if (bitsPerPixel <= 8) return 8;
    return 24;
}

// A packed DIB, bottom-up, with the pixels of `bitmap`; null when the bitmap cannot be read.
HANDLE PackedDibOf(HBITMAP bitmap) {
    BITMAP info{};
    if (::GetObjectA(bitmap, sizeof info, &info) != sizeof info) return nullptr;
    DIBSECTION section{};
    const bool isSection = ::GetObjectA(bitmap, sizeof section, &section) == sizeof section;
    const int sourceBits = isSection ? section.dsBmih.biBitCount : info.bmBitsPixel * info.bmPlanes;
    const LONG width = info.bmWidth;
    const LONG height = std::labs(info.bmHeight);
    if (width <= 0 || height <= 0) return nullptr;

    const WORD depth = PackedDepth(sourceBits);
    const std::uint32_t colours = depth <= 8 ? 1u << depth : 0;
    const std::uint64_t pixelBytes = layout::DibRowBytes(width, depth) * static_cast<std::uint64_t>(height);
    const std::uint64_t blockBytes = layout::kInfoHeaderSize + 4 * std::uint64_t{colours} + pixelBytes;
    if (blockBytes > 0x7FFFFFFF) return nullptr;

    GlobalBlock block(::GlobalAlloc(GHND, static_cast<SIZE_T>(blockBytes)));
    if (!block) return nullptr;
    {
        GlobalLockGuard locked(block.get());
        if (!locked) return nullptr;
        auto* header = static_cast<BITMAPINFOHEADER*>(locked.data());
        header->biSize = layout::kInfoHeaderSize;
        header->biWidth = width;
        header->biHeight = height;  // bottom-up, as a packed DIB keeps its rows
        header->biPlanes = 1;
        header->biBitCount = depth;
        header->biCompression = BI_RGB;
        header->biSizeImage = static_cast<DWORD>(pixelBytes);
        header->biClrUsed = colours;
        // GetDIBits converts from whatever the bitmap holds (and fills the colour table of a
        // palette DIB); it wants a device context only for device-dependent bitmaps' colours.
        WindowDc screen(nullptr);
        if (!screen) return nullptr;
        std::uint8_t* bits = locked.bytes() + layout::kInfoHeaderSize + 4 * colours;
        if (::GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(height), bits,
                        reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS) != height) {
            return nullptr;
        }
        // GetDIBits may rewrite these; the block holds exactly what was laid out above.
        header->biSizeImage = static_cast<DWORD>(pixelBytes);
        header->biClrUsed = colours;
        header->biCompression = BI_RGB;
    }
    return block.release();
}

}  // namespace

HANDLE TakeTransferredImage(HANDLE transferred) {
    if (!transferred) return nullptr;
    if (IsMemoryBlock(transferred)) {
        if (HoldsUsableDib(transferred)) return transferred;
        ::GlobalFree(transferred);  // the receiver owns it, image or not
        return nullptr;
    }
    if (::GetObjectType(transferred) == OBJ_BITMAP) {
        Bitmap bitmap(static_cast<HBITMAP>(transferred));  // deleted whatever comes of it
        return PackedDibOf(bitmap.get());
    }
    if (::GetObjectType(transferred) != 0) {
        ::DeleteObject(transferred);  // another kind of GDI object
    } else if (::GlobalFlags(transferred) != GMEM_INVALID_HANDLE) {
        ::GlobalFree(transferred);  // a block of no bytes, or one that was discarded
    }
    return nullptr;
}

}  // namespace kavrel::twainlib
