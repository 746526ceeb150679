// DIBs in memory: the list of the latest acquisition, header properties, a palette, drawing.
#include <cstring>
#include <vector>

#include "runtime/win_handles.h"
#include "twain/default_palette.h"
#include "twain/dib_layout.h"
#include "twain/library_state.h"

using kavrel::GlobalLockGuard;
using kavrel::twainlib::State;

namespace {

template <class T>
T HeaderField(const GlobalLockGuard& locked, std::size_t offset) {
    T value;
    std::memcpy(&value, locked.bytes() + offset, sizeof value);
    return value;
}

// A field of the 40-byte information header, or 0 when the block cannot be locked or is too
// small to hold the header.
template <class T>
int ReadInfoHeaderField(HANDLE dib, std::size_t offset) {
    GlobalLockGuard locked(dib);
    if (!locked || locked.size() < kavrel::twainlib::kInfoHeaderSize) return 0;
    return static_cast<int>(HeaderField<T>(locked, offset));
}

}  // namespace

TWAIN_API void WINAPI TWAIN_FreeNative(HANDLE dib) {
    if (dib) ::GlobalFree(dib);
}

TWAIN_API void WINAPI TWAIN_ClearDibList(void) {
    auto& s = State();
    for (HANDLE& slot : s.dibList) slot = nullptr;
    s.dibCount = 0;
}

TWAIN_API int WINAPI TWAIN_GetNumDibs(void) { return State().dibCount; }

TWAIN_API HANDLE WINAPI TWAIN_GetDib(int index) {
    // An index outside the list's 999 slots would read outside it.
    if (index < 0 || index >= kavrel::twainlib::kDibListSlots) return nullptr;
    return State().dibList[index];
}

TWAIN_API int WINAPI TWAIN_DibWidth(HANDLE dib) { return ReadInfoHeaderField<std::int32_t>(dib, 4); }
TWAIN_API int WINAPI TWAIN_DibHeight(HANDLE dib) { return ReadInfoHeaderField<std::int32_t>(dib, 8); }
TWAIN_API int WINAPI TWAIN_DibDepth(HANDLE dib) { return ReadInfoHeaderField<std::uint16_t>(dib, 14); }

TWAIN_API int WINAPI TWAIN_DibNumColors(HANDLE dib) {
    GlobalLockGuard locked(dib);
    if (!locked) return 0;
    return kavrel::twainlib::DibColorCount(locked.bytes(), locked.size());
}

TWAIN_API HPALETTE WINAPI TWAIN_CreateDibPalette(HANDLE dib) {
    GlobalLockGuard locked(dib);
    if (!locked || locked.size() < 4) return nullptr;
    const int colors = TWAIN_DibNumColors(dib);
    const int entries = colors ? colors : 256;

    std::vector<std::uint8_t> record(offsetof(LOGPALETTE, palPalEntry) +
                                     sizeof(PALETTEENTRY) * static_cast<std::size_t>(entries));
    auto* palette = reinterpret_cast<LOGPALETTE*>(record.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(entries);
    if (colors) {
        // The colour table starts after the header (the low 16 bits of its size); a table that
        // runs past the end of the block is not read.
        const std::size_t table = HeaderField<std::uint32_t>(locked, 0) & 0xFFFFu;
        if (table + 4 * static_cast<std::size_t>(colors) > locked.size()) return nullptr;
        for (int i = 0; i < colors; ++i) {
            const std::uint8_t* quad = locked.bytes() + table + 4 * static_cast<std::size_t>(i);
            palette->palPalEntry[i] = {quad[2], quad[1], quad[0], 0};  // the table is blue, green, red
        }
    } else {
        for (int i = 0; i < 256; ++i) {
            const auto& c = kavrel::twainlib::defaultDibPalette[static_cast<std::size_t>(i)];
            palette->palPalEntry[i] = {c.red, c.green, c.blue, c.flags};
        }
    }
    return ::CreatePalette(palette);
}

TWAIN_API void WINAPI TWAIN_DrawDibToDC(HDC dc, int dx, int dy, int width, int height, HANDLE dib,
                                        int sx, int sy) {
    GlobalLockGuard locked(dib);
    if (!locked) return;
    // A header that claims more than the block holds is not drawn: drawing would read past it.
    const auto layout = kavrel::twainlib::InspectDib(locked.bytes(), locked.size());
    if (!layout) return;
    ::StretchDIBits(dc, dx, dy, width, height, sx, sy, width, height,
                    locked.bytes() + layout->bitsOffset,
                    reinterpret_cast<const BITMAPINFO*>(locked.bytes()), DIB_RGB_COLORS, SRCCOPY);
}
