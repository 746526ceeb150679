// The scan's save road draws a page into the screen's format band by band, or encodes it straight
// from the DIB where that drawing could only copy the pixels. Either way the file it writes must be
// the one a whole-page rendering of the same DIB gives -- byte for byte -- for every kind of DIB a
// scanner can deliver, on every display depth the suite has (this program runs on the 32-bit
// display and, built again, on the 16-bit one).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "module/signature_jpeg.h"
#include "runtime/jpeg/jpeg_codec.h"
#include "runtime/picture/screen_picture.h"
#include "support/test_support.h"

namespace kavrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct PageKind {
    const char* name;
    int bits;
    bool bitFields565 = false;  // 16 bits with 5-6-5 masks; else 16 bits are 5-5-5
};

const PageKind kKinds[] = {
    {"1 bit", 1}, {"4 bits", 4}, {"8 bits", 8}, {"16 bits 5-5-5", 16}, {"16 bits 5-6-5", 16, true},
    {"24 bits", 24}, {"32 bits", 32},
};

std::size_t Stride(int width, int bits) { return (static_cast<std::size_t>(width) * bits + 31) / 32 * 4; }

// A packed DIB whose every row differs from every other (so that a band drawn from the wrong rows
// shows), with a colour table of distinct colours where the depth has one.
Bytes MakePage(const PageKind& kind, int width, int height, bool topDown) {
    const std::size_t colours = kind.bits <= 8 ? std::size_t{1} << kind.bits : 0;
    const std::size_t masks = kind.bitFields565 ? 12 : 0;
    const std::size_t stride = Stride(width, kind.bits);
    Bytes dib(40 + masks + 4 * colours + stride * static_cast<std::size_t>(height), 0);
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = topDown ? -height : height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(kind.bits);
    h.biCompression = kind.bitFields565 ? BI_BITFIELDS : BI_RGB;
    std::memcpy(dib.data(), &h, sizeof h);
    if (kind.bitFields565) {
        const DWORD m[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(dib.data() + 40, m, sizeof m);
    }
    std::uint8_t* table = dib.data() + 40 + masks;
    for (std::size_t i = 0; i < colours; ++i) {
        table[4 * i + 0] = static_cast<std::uint8_t>(i * 37 + 11);
        table[4 * i + 1] = static_cast<std::uint8_t>(255 - i * 13);
        table[4 * i + 2] = static_cast<std::uint8_t>(i * 91 + 5);
    }
    std::uint8_t* rows = table + 4 * colours;
    for (std::size_t r = 0; r < static_cast<std::size_t>(height); ++r) {
        for (std::size_t b = 0; b < stride; ++b) {
            rows[r * stride + b] = static_cast<std::uint8_t>((b * 7 + r * 29 + (b * r >> 4)) & 0xFF);
        }
    }
    return dib;
}

HGLOBAL BlockOf(const Bytes& bytes) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return nullptr;
    std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    return block;
}

// The reference: the whole page drawn at once into one off-screen picture in the screen's format
// with plain GDI, then encoded with the same settings.
void WholePageJpeg(const Bytes& dib, const std::string& path) {
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
    const int width = header->biWidth;
    const int height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    std::size_t bitsAt = 40 + (header->biCompression == BI_BITFIELDS ? 12 : 0);
    if (header->biBitCount <= 8) bitsAt += 4 * (std::size_t{1} << header->biBitCount);
    picture::ScreenPicture whole(width, height);
    ::StretchDIBits(whole.Dc(), 0, 0, width, height, 0, 0, width, height, dib.data() + bitsAt,
                    reinterpret_cast<const BITMAPINFO*>(dib.data()), DIB_RGB_COLORS, SRCCOPY);
    whole.Drawn();
    jpeg::WriteJpegFile(path, width, height, whole.Layout(), [&](int y) { return whole.Row(y); },
                        script::kSignatureJpegQuality);
}

int ScreenBits() { return picture::ScreenPicture(1, 1).BitsPerPixel(); }

TEST(SaveRoad, TheDisplayIsTheOneThisProgramIsFor) {
    EXPECT_EQ(ScreenBits(), KAVREL_EXPECTED_SCREEN_BITS);
}

TEST(SaveRoad, BandsGiveTheWholePageFileByteForByte) {
    ScratchDir dir;
    const int band = script::SaveBandRows(37);
    ASSERT_GT(band, 1);
    struct Size {
        int width, height;
    };
    // Widths that are not a multiple of 4; heights of one row, one band, one band and a row, and
    // two bands and a part.
    const Size sizes[] = {{37, 1}, {37, band}, {21, band + 1}, {103, 2 * band + 7}};
    int n = 0;
    for (const PageKind& kind : kKinds) {
        for (bool topDown : {false, true}) {
            for (const Size& size : sizes) {
                const std::string what = std::string(kind.name) + (topDown ? ", top-down, " : ", bottom-up, ") +
                                         std::to_string(size.width) + " x " + std::to_string(size.height) +
                                         " on a " + std::to_string(ScreenBits()) + "-bit display";
                const Bytes dib = MakePage(kind, size.width, size.height, topDown);
                GlobalBlock block(BlockOf(dib));
                const std::string road = dir / ("road" + std::to_string(n) + ".jpg");
                const std::string whole = dir / ("whole" + std::to_string(n) + ".jpg");
                ++n;
                script::SaveSplit split;
                ASSERT_NO_THROW(script::SaveDibAsJpeg(block.get(), road, script::SaveRoute::Fastest, &split)) << what;
                // Straight from the DIB exactly where that is a copy: else this compares nothing new.
                EXPECT_EQ(split.direct, kind.bits >= 24 && ScreenBits() == 32) << what;
                ASSERT_NO_THROW(WholePageJpeg(dib, whole)) << what;
                const auto written = ReadBytes(road);
                ASSERT_FALSE(written.empty()) << what;
                EXPECT_TRUE(written == ReadBytes(whole)) << what << ": the files differ";
            }
        }
    }
}

TEST(SaveRoad, AWidePageGoesThroughNarrowerBands) {
    // A page 600 dpi wide: its band is held to the road's memory budget, and still the file is the
    // whole page's.
    ScratchDir dir;
    const int width = 4960;
    const int band = script::SaveBandRows(width);
    EXPECT_LT(band, static_cast<int>(script::kSaveBandMaxRows));
    EXPECT_LE(static_cast<std::size_t>(band) * width * 4, script::kSaveBandBytes);
    const Bytes dib = MakePage({"24 bits", 24}, width, 2 * band + 3, false);
    GlobalBlock block(BlockOf(dib));
    ASSERT_NO_THROW(script::SaveDibAsJpeg(block.get(), dir / "road.jpg"));
    ASSERT_NO_THROW(WholePageJpeg(dib, dir / "whole.jpg"));
    EXPECT_TRUE(ReadBytes(dir / "road.jpg") == ReadBytes(dir / "whole.jpg"));
}

}  // namespace
}  // namespace kavrel::test
