// DIBs in memory through the exports: properties, colour counts, palettes, drawing pixel by
// pixel into a memory DC, and DIBs whose headers lie about their size.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <tuple>

#include "support/dib_builder.h"
#include "support/kavrel_api.h"

namespace kavrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Dibs : public ::testing::Test {
protected:
    HGLOBAL Keep(HGLOBAL b) { return keeper.Keep(b); }
    HGLOBAL Dib(const DibSpec& spec, std::size_t extra = 0) { return Keep(MakeDibBlock(spec, extra)); }

    KavrelApi kv;
    BlockKeeper keeper;
};

// A 32-bit top-down memory canvas, filled with one colour.
class Canvas {
public:
    Canvas(int width, int height, std::uint32_t fill = 0x00123456, bool bottomUp = false)
        : width_(width), height_(height), bottomUp_(bottomUp) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = bottomUp ? height : -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<std::uint32_t*>(bits);
        for (int i = 0; i < width * height; ++i) bits_[i] = fill;
        dc_ = ::CreateCompatibleDC(nullptr);
        previous_ = ::SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        ::SelectObject(dc_, previous_);
        ::DeleteDC(dc_);
        ::DeleteObject(bitmap_);
    }
    HDC Dc() const { return dc_; }
    // 0x00RRGGBB of the pixel at (x, y) from the top left.
    std::uint32_t At(int x, int y) const {
        ::GdiFlush();
        return Whole(x, y) & 0xFFFFFF;
    }
    // All four bytes of it, the one beside the colour (an alpha value) too.
    std::uint32_t Whole(int x, int y) const {
        ::GdiFlush();
        return bits_[(bottomUp_ ? height_ - 1 - y : y) * width_ + x];
    }

private:
    int width_, height_;
    bool bottomUp_;
    HBITMAP bitmap_;
    std::uint32_t* bits_;
    HDC dc_;
    HGDIOBJ previous_;
};

// The colour of DIB pixel (x, y), counted from the top row, straight from its bytes.
std::uint32_t DibPixel(const Bytes& dib, int x, int y) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), sizeof h);
    std::uint32_t colors = h.biClrUsed;
    if (!colors && h.biBitCount <= 8) colors = 1u << h.biBitCount;
    const std::size_t stride = RowBytes(h.biWidth, h.biBitCount);
    const int row = h.biHeight > 0 ? h.biHeight - 1 - y : y;
    const std::uint8_t* table = dib.data() + h.biSize;
    const std::uint8_t* line = table + 4 * colors + stride * static_cast<std::size_t>(row);
    auto rgb = [](const std::uint8_t* bgr) { return (bgr[2] << 16) | (bgr[1] << 8) | bgr[0]; };
    switch (h.biBitCount) {
    case 24: return static_cast<std::uint32_t>(rgb(line + 3 * x));
    case 32: return static_cast<std::uint32_t>(rgb(line + 4 * x));
    case 8: return static_cast<std::uint32_t>(rgb(table + 4 * line[x]));
    case 1: return static_cast<std::uint32_t>(rgb(table + 4 * ((line[x / 8] >> (7 - x % 8)) & 1)));
    default: return 0xFFFFFFFF;
    }
}

TEST_F(Dibs, PropertiesComeFromTheHeader) {
    HGLOBAL dib = Dib({37, -21, 8});
    EXPECT_EQ(kv.TWAIN_DibWidth(dib), 37);
    EXPECT_EQ(kv.TWAIN_DibHeight(dib), -21) << "as stored";
    EXPECT_EQ(kv.TWAIN_DibDepth(dib), 8);
    EXPECT_EQ(kv.TWAIN_DibNumColors(dib), 256);
}

TEST_F(Dibs, UnusableBlocksHaveNoProperties) {
    EXPECT_EQ(kv.TWAIN_DibWidth(nullptr), 0);
    EXPECT_EQ(kv.TWAIN_DibHeight(nullptr), 0);
    EXPECT_EQ(kv.TWAIN_DibDepth(nullptr), 0);
    EXPECT_EQ(kv.TWAIN_DibNumColors(nullptr), 0);
    EXPECT_EQ(kv.TWAIN_CreateDibPalette(nullptr), nullptr);
    // A block too small for an information header is not read past its end.
    Bytes tiny = DibBytes({5, 5, 24});
    tiny.resize(20);
    HGLOBAL small = Keep(BlockOf(tiny));
    EXPECT_EQ(kv.TWAIN_DibWidth(small), 0);
    EXPECT_EQ(kv.TWAIN_DibDepth(small), 0);
    EXPECT_EQ(kv.TWAIN_DibNumColors(small), 0);
}

TEST_F(Dibs, ColourCountsFollowDepthAndClrUsed) {
    struct Case {
        int bits;
        std::uint32_t clrUsed;
        int expected;
    };
    for (const Case& c : {Case{1, 0, 2}, Case{4, 0, 16}, Case{8, 0, 256}, Case{16, 0, 0}, Case{24, 0, 0},
                          Case{32, 0, 0}, Case{24, 16, 16}, Case{8, 300, 0}, Case{1, 300, 0},
                          Case{8, 256, 256}, Case{8, 3, 3}, Case{0, 0, 0}}) {
        HGLOBAL dib = Dib({4, 4, c.bits, c.clrUsed}, 1200);
        EXPECT_EQ(kv.TWAIN_DibNumColors(dib), c.expected) << c.bits << " bits, biClrUsed " << c.clrUsed;
    }
    // The old 12-byte core header: bit count at byte 10.
    Bytes core(12 + 16 * 3, 0);
    const std::uint32_t size = 12;
    const std::uint16_t width = 4, height = 4, planes = 1, bits = 4;
    std::memcpy(core.data(), &size, 4);
    std::memcpy(core.data() + 4, &width, 2);
    std::memcpy(core.data() + 6, &height, 2);
    std::memcpy(core.data() + 8, &planes, 2);
    std::memcpy(core.data() + 10, &bits, 2);
    EXPECT_EQ(kv.TWAIN_DibNumColors(Keep(BlockOf(core))), 16);
}

std::vector<PALETTEENTRY> EntriesOf(HPALETTE palette) {
    WORD count = 0;
    ::GetObjectA(palette, sizeof count, &count);
    std::vector<PALETTEENTRY> entries(count);
    ::GetPaletteEntries(palette, 0, count, entries.data());
    return entries;
}

TEST_F(Dibs, APaletteTakesTheColourTable) {
    const DibSpec spec{3, 2, 8};
    const Bytes bytes = DibBytes(spec);
    HPALETTE palette = kv.TWAIN_CreateDibPalette(Dib(spec));
    ASSERT_NE(palette, nullptr);
    const auto entries = EntriesOf(palette);
    ASSERT_EQ(entries.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t* quad = bytes.data() + 40 + 4 * i;
        EXPECT_EQ(entries[i].peRed, quad[2]) << i;
        EXPECT_EQ(entries[i].peGreen, quad[1]) << i;
        EXPECT_EQ(entries[i].peBlue, quad[0]) << i;
        EXPECT_EQ(entries[i].peFlags, 0) << i;
    }
    ::DeleteObject(palette);

    palette = kv.TWAIN_CreateDibPalette(Dib({9, 1, 1}));
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(EntriesOf(palette).size(), 2u);
    ::DeleteObject(palette);
}

TEST_F(Dibs, APaletteHoldsTheColoursTheImageIsDrawnWith) {
    Bytes core(12 + 16 * 3, 0);  // the old core header: 16 three-byte entries at 4 bits
    core[0] = 12, core[4] = 4, core[6] = 4, core[8] = 1, core[10] = 4;
    for (std::size_t i = 12; i < core.size(); ++i) core[i] = static_cast<std::uint8_t>(7 * i);
    Bytes claimsMore = DibBytes({4, 4, 8});  // a whole table, yet 300 colours claimed
    claimsMore[33] = 1, claimsMore[32] = 44;
    Bytes fields = InfoHeaderBytes(40, 4, 4, 16, BI_BITFIELDS, 0, 4);  // 4 colours after the masks
    fields.resize(40 + 12 + 16 + 32);
    for (std::size_t i = 40; i < fields.size(); ++i) fields[i] = static_cast<std::uint8_t>(11 * i);
    const std::tuple<const char*, Bytes, std::size_t, std::size_t, std::size_t> cases[] = {
        {"a core header", core, 16, 3, 12},
        {"17 colours claimed at 4 bits (GDI reads 16)", DibBytes({4, 4, 4, 17}), 16, 4, 40},
        {"300 colours claimed at 8 bits (GDI reads the 256 there)", claimsMore, 256, 4, 40},
        {"bit fields with a table after the masks", fields, 4, 4, 52},
    };
    for (const auto& [what, bytes, count, entryBytes, tableAt] : cases) {
        HPALETTE palette = kv.TWAIN_CreateDibPalette(Keep(BlockOf(bytes)));
        const auto entries = palette ? EntriesOf(palette) : std::vector<PALETTEENTRY>{};
        ::DeleteObject(palette);
        std::vector<PALETTEENTRY> table;  // blue, green, red in the DIB
        for (std::size_t at = tableAt; table.size() < count; at += entryBytes) {
            table.push_back({bytes[at + 2], bytes[at + 1], bytes[at], 0});
        }
        EXPECT_TRUE(entries.size() == count && std::memcmp(entries.data(), table.data(), 4 * count) == 0) << what;
    }
}

TEST_F(Dibs, AColourTableBeyondTheBlockGivesNoPalette) {
    Bytes bytes = DibBytes({4, 4, 8});
    bytes.resize(40 + 100);  // the table needs 1024 bytes
    EXPECT_EQ(kv.TWAIN_CreateDibPalette(Keep(BlockOf(bytes))), nullptr);
}

TEST_F(Dibs, WithoutAColourTableThePaletteIsTheDefaultOne) {
    HPALETTE palette = kv.TWAIN_CreateDibPalette(Dib({4, 4, 24}));
    ASSERT_NE(palette, nullptr);
    const auto e = EntriesOf(palette);
    ::DeleteObject(palette);
    ASSERT_EQ(e.size(), 256u);
    using Rgbf = std::tuple<int, int, int, int>;
    auto at = [&](int i) { return Rgbf{e[i].peRed, e[i].peGreen, e[i].peBlue, e[i].peFlags}; };
    const Rgbf low[10] = {{0, 0, 0, 0},     {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
                          {0, 0, 128, 0},   {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
                          {192, 220, 192, 0}, {166, 202, 240, 0}};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(at(i), low[i]) << i;
    const int greysLow[12] = {4, 8, 12, 17, 22, 28, 34, 41, 85, 77, 66, 57};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(at(10 + i), (Rgbf{greysLow[i], greysLow[i], greysLow[i], 4})) << 10 + i;
    const Rgbf extras[7] = {{255, 124, 128, 4}, {255, 80, 80, 4},   {214, 0, 147, 4}, {204, 236, 255, 4},
                            {239, 214, 198, 4}, {231, 231, 214, 4}, {173, 169, 144, 4}};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(at(22 + i), extras[i]) << 22 + i;
    // Entries 29 to 232: every colour of the six-level cube once, but the eight corners and
    // four near-primaries.
    std::set<std::tuple<int, int, int>> cube;
    for (int i = 29; i <= 232; ++i) {
        const auto [r, g, b, f] = at(i);
        EXPECT_EQ(f, 4) << i;
        EXPECT_TRUE(r % 51 == 0 && g % 51 == 0 && b % 51 == 0) << i;
        cube.insert({r, g, b});
    }
    EXPECT_EQ(cube.size(), 204u) << "no colour twice";
    for (auto excluded : {std::tuple{0, 51, 255}, std::tuple{0, 255, 51}, std::tuple{51, 0, 255},
                          std::tuple{51, 255, 0}, std::tuple{0, 0, 0}, std::tuple{255, 255, 255},
                          std::tuple{255, 0, 0}, std::tuple{0, 255, 255}}) {
        EXPECT_EQ(cube.count(excluded), 0u);
    }
    EXPECT_EQ(at(233), (Rgbf{165, 0, 33, 4}));
    const int greysHigh[12] = {95, 119, 134, 150, 203, 178, 215, 221, 227, 234, 241, 248};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(at(234 + i), (Rgbf{greysHigh[i], greysHigh[i], greysHigh[i], 4})) << 234 + i;
    const Rgbf high[10] = {{255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},
                           {0, 255, 0, 0},     {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},
                           {0, 255, 255, 0},   {255, 255, 255, 0}};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(at(246 + i), high[i]) << 246 + i;
}

void ExpectDrawnWhole(const KavrelApi& kv, const DibSpec& spec, HGLOBAL dib) {
    const Bytes bytes = BytesOf(dib);
    Canvas canvas(spec.width, spec.height < 0 ? -spec.height : spec.height);
    kv.TWAIN_DrawDibToDC(canvas.Dc(), 0, 0, spec.width, spec.height < 0 ? -spec.height : spec.height, dib, 0, 0);
    for (int y = 0; y < (spec.height < 0 ? -spec.height : spec.height); ++y) {
        for (int x = 0; x < spec.width; ++x) {
            ASSERT_EQ(canvas.At(x, y), DibPixel(bytes, x, y)) << spec.bitCount << " bits at " << x << "," << y;
        }
    }
}

TEST_F(Dibs, DrawingCopiesEveryPixel) {
    for (const DibSpec& spec : {DibSpec{7, 5, 24}, DibSpec{6, 3, 32}, DibSpec{5, 4, 8}, DibSpec{13, 3, 1},
                                DibSpec{5, -4, 24}}) {
        ExpectDrawnWhole(kv, spec, Dib(spec));
    }
}

TEST_F(Dibs, DrawingAWholeImageAnywhereInAnyTargetCopiesEveryPixel) {
    // Bottom-up and top-down targets, the image placed away from the corner; outside it the
    // target keeps its colour.
    for (bool bottomUp : {false, true}) {
        for (const DibSpec& spec : {DibSpec{7, 5, 24}, DibSpec{5, -3, 32}, DibSpec{9, 2, 24}}) {
            HGLOBAL dib = Dib(spec);
            const Bytes bytes = BytesOf(dib);
            const int rows = spec.height < 0 ? -spec.height : spec.height;
            Canvas canvas(spec.width + 5, rows + 4, 0x00445566, bottomUp);
            kv.TWAIN_DrawDibToDC(canvas.Dc(), 3, 2, spec.width, rows, dib, 0, 0);
            for (int y = 0; y < rows + 4; ++y) {
                for (int x = 0; x < spec.width + 5; ++x) {
                    const bool inside = x >= 3 && x < 3 + spec.width && y >= 2 && y < 2 + rows;
                    ASSERT_EQ(canvas.At(x, y), inside ? DibPixel(bytes, x - 3, y - 2) : 0x445566u)
                        << spec.bitCount << " bits, bottom-up target " << bottomUp << ", at " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(Dibs, DrawingLeavesEveryByteOutsideTheRectangleAsItWas) {
    // An opaque target, as a layered window's image is: outside the rectangle drawn, not even
    // the fourth byte of a pixel changes, whichever way the image is drawn.
    for (bool bottomUp : {false, true}) {
        for (const DibSpec& spec : {DibSpec{4, 3, 24}, DibSpec{4, 3, 32}, DibSpec{4, 3, 8}}) {
            Canvas canvas(12, 9, 0xFF445566, bottomUp);
            kv.TWAIN_DrawDibToDC(canvas.Dc(), 5, 4, 4, 3, Dib(spec), 0, 0);
            for (int y = 0; y < 9; ++y) {
                for (int x = 0; x < 12; ++x) {
                    if (x >= 5 && x < 9 && y >= 4 && y < 7) continue;
                    ASSERT_EQ(canvas.Whole(x, y), 0xFF445566u)
                        << spec.bitCount << " bits, bottom-up target " << bottomUp << ", at " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(Dibs, DrawingSkipsAColourTableAtAnyDepth) {
    // A 24-bit DIB with biClrUsed 16: 64 bytes of table before the rows.
    const DibSpec spec{6, 4, 24, 16};
    ExpectDrawnWhole(kv, spec, Dib(spec));
}

TEST_F(Dibs, DrawingAPartCopiesItUnscaled) {
    const DibSpec spec{8, 6, 24};
    HGLOBAL dib = Dib(spec);
    const Bytes bytes = BytesOf(dib);
    Canvas canvas(8, 6, 0x00010203);
    kv.TWAIN_DrawDibToDC(canvas.Dc(), 2, 1, 3, 2, dib, 4, 0);
    // The source origin of a bottom-up DIB is its bottom left corner: rows 4 and 5 from the top.
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            const std::uint32_t expected = inside ? DibPixel(bytes, x - 2 + 4, y - 1 + 4) : 0x010203;
            EXPECT_EQ(canvas.At(x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(Dibs, BitFieldRowsStartAfterTheirMasks) {
    // 16-bit 5-6-5 pixels: the three masks take the place of a colour table.
    Bytes bytes(40 + 12 + 8 * 2, 0);
    BITMAPINFOHEADER h{sizeof h, 4, -2, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
    std::memcpy(bytes.data(), &h, sizeof h);
    const std::uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(bytes.data() + 40, masks, sizeof masks);
    const std::uint16_t pixels[8] = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0, 0xF800, 0xF800, 0x001F};
    std::memcpy(bytes.data() + 52, pixels, sizeof pixels);
    HGLOBAL dib = Keep(BlockOf(bytes));
    Canvas canvas(4, 2);
    kv.TWAIN_DrawDibToDC(canvas.Dc(), 0, 0, 4, 2, dib, 0, 0);
    EXPECT_EQ(canvas.At(0, 0), 0xFF0000u);
    EXPECT_EQ(canvas.At(1, 0), 0x00FF00u);
    EXPECT_EQ(canvas.At(2, 0), 0x0000FFu);
    EXPECT_EQ(canvas.At(3, 0), 0xFFFFFFu);
    EXPECT_EQ(canvas.At(0, 1), 0x000000u);
    EXPECT_EQ(canvas.At(3, 1), 0x0000FFu);
}

TEST_F(Dibs, HeadersThatClaimMoreThanTheBlockAreNotDrawn) {
    struct Lie {
        const char* what;
        std::function<void(Bytes&)> apply;
    };
    const Lie lies[] = {
        {"rows cut off", [](Bytes& b) { b.resize(b.size() - 10); }},
        {"height raised", [](Bytes& b) { const std::int32_t h = 5000; std::memcpy(b.data() + 8, &h, 4); }},
        {"width raised", [](Bytes& b) { const std::int32_t w = 1 << 20; std::memcpy(b.data() + 4, &w, 4); }},
        {"header size raised", [](Bytes& b) { const std::uint32_t s = 0x10000; std::memcpy(b.data(), &s, 4); }},
        {"colour table claimed", [](Bytes& b) { const std::uint32_t c = 200; std::memcpy(b.data() + 32, &c, 4); }},
        {"bit count", [](Bytes& b) { const std::uint16_t c = 7; std::memcpy(b.data() + 14, &c, 2); }},
    };
    for (const Lie& lie : lies) {
        Bytes bytes = DibBytes({6, 4, 24});
        lie.apply(bytes);
        Canvas canvas(6, 4, 0x00ABCDEF);
        kv.TWAIN_DrawDibToDC(canvas.Dc(), 0, 0, 6, 4, Keep(BlockOf(bytes)), 0, 0);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) ASSERT_EQ(canvas.At(x, y), 0xABCDEFu) << lie.what;
        }
    }
}

TEST_F(Dibs, TheListStartsEmptyAndIsBoundedAtBothEnds) {
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(kv.TWAIN_GetDib(0), nullptr);
    EXPECT_EQ(kv.TWAIN_GetDib(998), nullptr);
    EXPECT_EQ(kv.TWAIN_GetDib(999), nullptr);
    EXPECT_EQ(kv.TWAIN_GetDib(-1), nullptr);
    EXPECT_EQ(kv.TWAIN_GetDib(0x7FFFFFFF), nullptr);
    kv.TWAIN_ClearDibList();
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
}

TEST_F(Dibs, FreeNativeReleasesTheBlockAndIgnoresNull) {
    kv.TWAIN_FreeNative(nullptr);
    HGLOBAL dib = MakeDibBlock({4, 4, 24});
    ASSERT_GT(::GlobalSize(dib), 0u);
    kv.TWAIN_FreeNative(dib);
    EXPECT_EQ(::GlobalSize(dib), 0u);
}

}  // namespace
}  // namespace kavrel::test
