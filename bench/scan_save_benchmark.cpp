// How much kvrscan's road from a delivered DIB to the finished JPEG file costs over the JPEG
// encoding itself. For an A4 page at 300 dpi and a signature-sized scan, it times the road
// (off-screen picture, drawing, encoding, writing beside the old file and replacing it) and a
// bare libjpeg encode of the same pixels with the same settings into a file, and prints the
// ratio of the medians. Not a test: it asserts nothing.
//
// It also times what no road through an off-screen picture can avoid: making a bitmap of the
// image's size in the screen's format, writing every pixel of it once (fresh memory, so each page
// is faulted in) and releasing it. Bare encode plus that floor gives the least ratio such a road
// can reach on this machine.
#include <windows.h>

#include "bench/bench_jpeg.h"
#include "bench/bench_timing.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "layout/dib_layout.h"
#include "module/signature_jpeg.h"
#include "runtime/picture/screen_picture.h"
#include "tools/virtual_scanner/test_pattern.h"

namespace {

using kavrel::bench::Median;
using kavrel::bench::Seconds;


// libjpeg alone: the DIB's 24-bit rows, bottom-up in memory, handed over top row first.
void BareEncode(HGLOBAL dib, const std::string& path) {
    auto* header = static_cast<BITMAPINFOHEADER*>(::GlobalLock(dib));
    const int width = header->biWidth, height = header->biHeight;
    const auto stride = static_cast<std::size_t>(kavrel::layout::DibRowBytes(width, 24));
    auto* rows = reinterpret_cast<std::uint8_t*>(header) + header->biSize;
    kavrel::bench::EncodeJpegFile(path, width, height, JCS_EXT_BGR, kavrel::script::kSignatureJpegQuality, true,
                                  [&](int y) { return rows + stride * (static_cast<std::size_t>(height) - 1 - y); });
    ::GlobalUnlock(dib);
}

// The floor: a fresh screen-format bitmap of the image's size, filled once by GDI and released.
void FillFreshBitmap(int width, int height) {
    kavrel::picture::ScreenPicture fresh(width, height);
    ::PatBlt(fresh.Dc(), 0, 0, width, height, WHITENESS);
    ::GdiFlush();
}

void Measure(const char* what, int width, int height, int rounds, const std::string& dir) {
    HGLOBAL dib = kavrel::vscan::MakePatternDib(width, height, kavrel::vscan::PixelKind::Colour, 0);
    const std::string roadFile = dir + "\\road.jpg";
    const std::string bareFile = dir + "\\bare.jpg";
    std::vector<double> road, bare, floor;
    for (int i = 0; i < rounds; ++i) {
        // Alternating, so that both see the same state of the machine.
        double t = Seconds();
        kavrel::script::SaveDibAsJpeg(dib, roadFile);
        road.push_back(Seconds() - t);
        t = Seconds();
        BareEncode(dib, bareFile);
        bare.push_back(Seconds() - t);
        t = Seconds();
        FillFreshBitmap(width, height);
        floor.push_back(Seconds() - t);
    }
    const double r = Median(road), b = Median(bare), f = Median(floor);
    std::printf("%-28s %5d x %-5d  road %8.1f ms   bare libjpeg %8.1f ms   ratio %.3f\n", what, width,
                height, r * 1000, b * 1000, r / b);
    std::printf("%-28s %5d x %-5d  fresh bitmap filled once %6.1f ms   least ratio through it %.3f\n", "",
                width, height, f * 1000, (b + f) / b);
    ::GlobalFree(dib);
    ::DeleteFileA(roadFile.c_str());
    ::DeleteFileA(bareFile.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string dir = argc > 1 ? argv[1] : std::string(temp);
    std::printf("kvrscan save road against a bare libjpeg encode (quality 90, float DCT), medians:\n");
    Measure("A4 page, 300 dpi", 2480, 3508, 7, dir);
    Measure("signature", 1200, 500, 25, dir);
    return 0;
}
