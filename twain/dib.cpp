// DIBs in memory: the list of the latest acquisition, header properties, a palette, drawing.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/no_throw.h"
#include "base/win_handles.h"
#include "twain/default_palette.h"
#include "layout/byte_fields.h"
#include "layout/dib_layout.h"
#include "twain/library_state.h"

using kavrel::GlobalLockGuard;
using kavrel::layout::LoadField;
using kavrel::twainlib::State;

namespace {

// A field of the 40-byte information header, or 0 when the block cannot be locked or is too
// small to hold the header.
template <class T>
int ReadInfoHeaderField(HANDLE dib, std::size_t offset) {
    GlobalLockGuard locked(dib);
    if (!locked || locked.size() < kavrel::layout::kInfoHeaderSize) return 0;
    return static_cast<int>(LoadField<T>(locked.bytes() + offset));
}

// The common case of drawing a 24- or 32-bit image one to one into a 32-bit DIB section selected
// into a plain memory DC (the scanning road does this with every band of every page): the rows
// are converted straight into the section's memory. The pixels come out as StretchDIBits would
// put them there, several times faster; anything less plain is left to StretchDIBits.
//
// The destination may reach beyond the section at the top or the bottom (the scanning road places
// the page so that one band of it falls on a band-high section); only the rows that fall on the
// section are converted, as StretchDIBits clips. The source rectangle is in StretchDIBits' terms:
// for an image stored bottom-up sy counts from its bottom row. For one stored top-down,
// StretchDIBits counts a non-zero sy from the bottom as well but sy 0 from the top; those
// rectangles are left to it.
bool CopyIntoDibSection(HDC dc, int dx, int dy, int width, int height, int sx, int sy,
                        const kavrel::layout::DibLayout& dib, const std::uint8_t* bits) {
    if (dib.compression != BI_RGB || (dib.bitCount != 24 && dib.bitCount != 32)) return false;
    const int rows = dib.height < 0 ? -dib.height : dib.height;
    // Wholly inside the image (StretchDIBits clips what is not).
    if (width <= 0 || height <= 0 || sx < 0 || sy < 0 || width > dib.width - sx || height > rows - sy) return false;
    if (dib.height < 0 && sy != 0) return false;
    HGDIOBJ selected = ::GetCurrentObject(dc, OBJ_BITMAP);
    DIBSECTION section{};
    if (!selected || ::GetObjectA(selected, sizeof section, &section) != sizeof section || !section.dsBm.bmBits) {
        return false;
    }
    const BITMAPINFOHEADER& target = section.dsBmih;
    const bool plain32 = target.biBitCount == 32 &&
                         (target.biCompression == BI_RGB ||
                          (target.biCompression == BI_BITFIELDS && section.dsBitfields[0] == 0xFF0000 &&
                           section.dsBitfields[1] == 0xFF00 && section.dsBitfields[2] == 0xFF));
    if (!plain32) return false;
    // No mapping, transform, mirroring or clipping that StretchDIBits would honour.
    POINT origin{1, 1};
    // GetClipRgn answers 1 for a clip region, 0 for none and -1 on failure (taken as clipped).
    kavrel::GdiObject clip(::CreateRectRgn(0, 0, 0, 0));
    const bool clipped = ::GetClipRgn(dc, static_cast<HRGN>(clip.get())) != 0;
    if (clipped || ::GetMapMode(dc) != MM_TEXT || ::GetGraphicsMode(dc) != GM_COMPATIBLE || ::GetLayout(dc) != 0 ||
        !::GetViewportOrgEx(dc, &origin) || origin.x != 0 || origin.y != 0 || !::GetWindowOrgEx(dc, &origin) ||
        origin.x != 0 || origin.y != 0) {
        return false;
    }
    const int targetWidth = section.dsBm.bmWidth;
    const int targetRows = section.dsBm.bmHeight;
    if (dx < 0 || width > targetWidth - dx) return false;
    // The rectangle's rows that fall on the section (64-bit: dy may be far off either way).
    const int firstRow = static_cast<int>(std::max<long long>(0, -static_cast<long long>(dy)));
    const int endRow = static_cast<int>(std::min<long long>(height, static_cast<long long>(targetRows) - dy));
    if (firstRow >= endRow) return true;  // nothing of it falls on the section

    // Which way the section stores its rows: its header does not say for sure (a top-down
    // section may report a positive height), so a pixel set through the DC shows where the
    // top row is kept. Both places the pixel may be kept are read first and put back byte for
    // byte: setting the old colour through the DC would clear the fourth byte of the pixel (an
    // alpha value, for a layered window's image), outside the rectangle drawn.
    ::GdiFlush();
    auto* targetBits = static_cast<std::uint8_t*>(section.dsBm.bmBits);
    const std::size_t targetStride = static_cast<std::size_t>(section.dsBm.bmWidthBytes);
    std::uint8_t* const topDownCorner = targetBits;
    std::uint8_t* const bottomUpCorner = targetBits + targetStride * static_cast<std::size_t>(targetRows - 1);
    std::uint32_t first = 0;
    std::uint32_t firstBottomUp = 0;
    std::memcpy(&first, topDownCorner, 4);
    std::memcpy(&firstBottomUp, bottomUpCorner, 4);
    const std::uint32_t probe = (first & 0xFFFFFF) == 0x563412u ? 0x214365u : 0x563412u;  // as stored: B G R
    if (::GetPixel(dc, 0, 0) == CLR_INVALID || !::SetPixelV(dc, 0, 0, RGB(probe >> 16, (probe >> 8) & 0xFF, probe & 0xFF))) {
        return false;
    }
    ::GdiFlush();
    std::uint32_t probed = 0;
    std::memcpy(&probed, topDownCorner, 4);
    const bool topDown = (probed & 0xFFFFFF) == probe;
    std::memcpy(bottomUpCorner, &firstBottomUp, 4);
    std::memcpy(topDownCorner, &first, 4);
    const std::size_t sourceStride = static_cast<std::size_t>(kavrel::layout::DibRowBytes(dib.width, dib.bitCount));
    const std::size_t sourceOffset = static_cast<std::size_t>(sx) * (dib.bitCount / 8);
    for (int y = firstRow; y < endRow; ++y) {
        // Row y from the top of the rectangle, in memory: a bottom-up image keeps the rectangle's
        // top row (sy + height - 1 from its bottom) furthest in; a top-down one (sy 0) at row y.
        const int sourceRow = dib.height > 0 ? sy + height - 1 - y : y;
        const std::uint8_t* from = bits + sourceStride * static_cast<std::size_t>(sourceRow) + sourceOffset;
        const int targetRow = dy + y;
        std::uint8_t* to = targetBits + targetStride * static_cast<std::size_t>(
                                            topDown ? targetRow : targetRows - 1 - targetRow) +
                           4 * static_cast<std::size_t>(dx);
        if (dib.bitCount == 32) {
            for (int x = 0; x < width; ++x) {
                std::memcpy(to + 4 * x, from + 4 * x, 3);
                to[4 * x + 3] = 0;
            }
        } else {
            // Four pixels at a time: three 32-bit words in, four out.
            int x = 0;
            for (; x + 4 <= width; x += 4, from += 12, to += 16) {
                std::uint32_t a, b, c;
                std::memcpy(&a, from, 4);
                std::memcpy(&b, from + 4, 4);
                std::memcpy(&c, from + 8, 4);
                const std::uint32_t p0 = a & 0xFFFFFFu;
                const std::uint32_t p1 = (a >> 24) | ((b & 0xFFFFu) << 8);
                const std::uint32_t p2 = (b >> 16) | ((c & 0xFFu) << 16);
                const std::uint32_t p3 = c >> 8;
                std::memcpy(to, &p0, 4);
                std::memcpy(to + 4, &p1, 4);
                std::memcpy(to + 8, &p2, 4);
                std::memcpy(to + 12, &p3, 4);
            }
            for (; x < width; ++x, from += 3, to += 4) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = 0;
            }
        }
    }
    return true;
}

}  // namespace

TWAIN_API void WINAPI TWAIN_FreeNative(HANDLE dib) {
    kavrel::NoThrowVoid([&] { if (dib) ::GlobalFree(dib); });
}

void kavrel::twainlib::Unlist(HANDLE dib) {
    auto& s = State();
    int kept = 0;
    for (int i = 0; i < s.dibCount; ++i) {
        if (s.dibList[i] != dib) s.dibList[kept++] = s.dibList[i];
    }
    for (int i = kept; i < s.dibCount; ++i) s.dibList[i] = nullptr;
    s.dibCount = kept;
}

TWAIN_API void WINAPI TWAIN_ClearDibList(void) {
    kavrel::NoThrowVoid([&] {
        auto& s = State();
        for (HANDLE& slot : s.dibList) slot = nullptr;
        s.dibCount = 0;
    });
}

TWAIN_API int WINAPI TWAIN_GetNumDibs(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return State().dibCount; });
}

TWAIN_API HANDLE WINAPI TWAIN_GetDib(int index) {
    return kavrel::NoThrow(HANDLE{nullptr}, [&]() -> HANDLE {
        // An index outside the list's 999 slots would read outside it.
        if (index < 0 || index >= kavrel::twainlib::kDibListSlots) return nullptr;
        return State().dibList[index];
    });
}

TWAIN_API int WINAPI TWAIN_DibWidth(HANDLE dib) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return ReadInfoHeaderField<std::int32_t>(dib, 4); });
}

TWAIN_API int WINAPI TWAIN_DibHeight(HANDLE dib) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return ReadInfoHeaderField<std::int32_t>(dib, 8); });
}

TWAIN_API int WINAPI TWAIN_DibDepth(HANDLE dib) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return ReadInfoHeaderField<std::uint16_t>(dib, 14); });
}

TWAIN_API int WINAPI TWAIN_DibNumColors(HANDLE dib) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        GlobalLockGuard locked(dib);
        if (!locked) return 0;
        return kavrel::layout::DibColorCount(locked.bytes(), locked.size());
    });
}

TWAIN_API HPALETTE WINAPI TWAIN_CreateDibPalette(HANDLE dib) {
    return kavrel::NoThrow(HPALETTE{nullptr}, [&]() -> HPALETTE {
        GlobalLockGuard locked(dib);
        if (!locked) return nullptr;
        const auto table = kavrel::layout::ReadDibColorTable(locked.bytes(), locked.size());
        if (!table) return nullptr;
        // The colours the image is drawn with, from the table after the header; a table that runs
        // past the end of the block is not read.
        const std::uint32_t colors = table->PaletteEntries();
        const std::uint32_t entries = colors ? colors : 256;

        std::vector<std::uint8_t> record(offsetof(LOGPALETTE, palPalEntry) + sizeof(PALETTEENTRY) * entries);
        auto* palette = reinterpret_cast<LOGPALETTE*>(record.data());
        palette->palVersion = 0x300;
        palette->palNumEntries = static_cast<WORD>(entries);
        if (colors) {
            if (table->offset + std::uint64_t{table->entryBytes} * colors > locked.size()) return nullptr;
            for (std::uint32_t i = 0; i < colors; ++i) {
                const std::uint8_t* entry = locked.bytes() + table->offset + std::size_t{table->entryBytes} * i;
                palette->palPalEntry[i] = {entry[2], entry[1], entry[0], 0};  // the table is blue, green, red
            }
        } else {
            for (int i = 0; i < 256; ++i) {
                const auto& c = kavrel::twainlib::defaultDibPalette[static_cast<std::size_t>(i)];
                palette->palPalEntry[i] = {c.red, c.green, c.blue, c.flags};
            }
        }
        return ::CreatePalette(palette);
    });
}

TWAIN_API void WINAPI TWAIN_DrawDibToDC(HDC dc, int dx, int dy, int width, int height, HANDLE dib,
                                        int sx, int sy) {
    kavrel::NoThrowVoid([&] {
        GlobalLockGuard locked(dib);
        if (!locked) return;
        // A header that claims more than the block holds is not drawn: drawing would read past it.
        const auto layout = kavrel::layout::InspectDib(locked.bytes(), locked.size());
        if (!layout) return;
        if (CopyIntoDibSection(dc, dx, dy, width, height, sx, sy, *layout, locked.bytes() + layout->bitsOffset)) {
            return;
        }
        ::StretchDIBits(dc, dx, dy, width, height, sx, sy, width, height,
                        locked.bytes() + layout->bitsOffset,
                        reinterpret_cast<const BITMAPINFO*>(locked.bytes()), DIB_RGB_COLORS, SRCCOPY);
    });
}
