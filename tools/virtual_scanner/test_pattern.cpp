#include "tools/virtual_scanner/test_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "base/file_bytes.h"
#include "base/win_handles.h"
#include "layout/bmp_layout.h"
#include "layout/dib_layout.h"

namespace kavrel::vscan {

namespace {

constexpr long long kMaxImageFileBytes = 256LL << 20;
constexpr std::uint64_t kMaxPatternBytes = 1ULL << 30;

// The stroke: a pen line waving across the middle of the page like a signature, drawn a little
// differently on each page. Its centre line depends on the column only.
double StrokeCentre(int x, int width, int height, int page) {
    const double t = static_cast<double>(x) / width * 6.2831853 * 3 + page * 0.7;
    return height / 2.0 + std::sin(t) * std::cos(t / 3.1) * height / 4.0;
}

bool OnStroke(int x, int y, int width, int height, double centre) {
    if (x < width / 10 || x > width - width / 10) return false;
    const double thickness = height / 45.0 + 1.5;
    return std::abs(y - centre) <= thickness;
}

Rgb Colour(int x, int y, int width, int height, int page, double centre) {
    if (OnStroke(x, y, width, height, centre)) return {20, 24, 90};
    const int w = width > 1 ? width - 1 : 1;
    const int h = height > 1 ? height - 1 : 1;
    return {static_cast<std::uint8_t>(60 + x * 180 / w), static_cast<std::uint8_t>(230 - y * 150 / h),
            static_cast<std::uint8_t>((120 + page * 50) % 256)};
}

std::uint8_t Grey(const Rgb& c) {
    return static_cast<std::uint8_t>((c.red * 299 + c.green * 587 + c.blue * 114 + 500) / 1000);
}

}  // namespace

Rgb PatternColour(int x, int y, int width, int height, int page) {
    return Colour(x, y, width, height, page, StrokeCentre(x, width, height, page));
}

std::uint8_t PatternGrey(int x, int y, int width, int height, int page) {
    return Grey(PatternColour(x, y, width, height, page));
}

bool PatternWhite(int x, int y, int width, int height, int page) {
    return PatternGrey(x, y, width, height, page) >= 128;
}

// Pixels per metre of a resolution in dots per inch, rounded (200 dpi: 7874).
LONG PelsPerMetre(int dpi) { return static_cast<LONG>((static_cast<long long>(dpi) * 10000 + 127) / 254); }

HGLOBAL MakePatternDib(int width, int height, PixelKind kind, int page, int xDpi, int yDpi) {
    const int bits = kind == PixelKind::Colour ? 24 : kind == PixelKind::Grey ? 8 : 1;
    const int colours = kind == PixelKind::Colour ? 0 : (kind == PixelKind::Grey ? 256 : 2);
    // Counted in 64 bits: a large pattern at a high resolution exceeds what a 32-bit process can
    // hold, and is then refused rather than wrapped round to a small block.
    const std::uint64_t wide = layout::DibRowBytes(width, bits);
    const std::uint64_t pixelBytes = wide * static_cast<std::uint64_t>(height > 0 ? height : 0);
    if (width <= 0 || height <= 0 || pixelBytes > kMaxPatternBytes) return nullptr;
    const auto stride = static_cast<std::size_t>(wide);
    const std::size_t size = sizeof(BITMAPINFOHEADER) + 4 * static_cast<std::size_t>(colours) +
                             static_cast<std::size_t>(pixelBytes);
    GlobalBlock block(::GlobalAlloc(GHND, size));
    if (!block) return nullptr;
    {
        GlobalLockGuard locked(block.get());
        if (!locked) return nullptr;
        auto* header = static_cast<BITMAPINFOHEADER*>(locked.data());
        header->biSize = sizeof(BITMAPINFOHEADER);
        header->biWidth = width;
        header->biHeight = height;
        header->biPlanes = 1;
        header->biBitCount = static_cast<WORD>(bits);
        header->biCompression = BI_RGB;
        header->biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));
        header->biXPelsPerMeter = PelsPerMetre(xDpi);
        header->biYPelsPerMeter = PelsPerMetre(yDpi);
        header->biClrUsed = 0;
        auto* table = reinterpret_cast<RGBQUAD*>(locked.bytes() + sizeof(BITMAPINFOHEADER));
        for (int i = 0; i < colours; ++i) {
            const auto level = static_cast<BYTE>(colours == 2 ? i * 255 : i);
            table[i] = {level, level, level, 0};
        }
        // The stroke's centre once for each column, not for each of a large page's pixels.
        std::vector<double> centres(static_cast<std::size_t>(width));
        for (int x = 0; x < width; ++x) centres[static_cast<std::size_t>(x)] = StrokeCentre(x, width, height, page);
        std::uint8_t* rows = locked.bytes() + sizeof(BITMAPINFOHEADER) + 4 * colours;
        for (int y = 0; y < height; ++y) {
            // Bottom-up: the last row in memory is the top of the page.
            std::uint8_t* row = rows + stride * static_cast<std::size_t>(height - 1 - y);
            for (int x = 0; x < width; ++x) {
                const Rgb c = Colour(x, y, width, height, page, centres[static_cast<std::size_t>(x)]);
                switch (kind) {
                case PixelKind::Colour:
                    row[3 * x] = c.blue;
                    row[3 * x + 1] = c.green;
                    row[3 * x + 2] = c.red;
                    break;
                case PixelKind::Grey:
                    row[x] = Grey(c);
                    break;
                case PixelKind::BlackAndWhite:
                    if (Grey(c) >= 128) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                    break;
                }
            }
        }
    }
    return block.release();
}

int DpiOfPelsPerMetre(long perMetre) {
    // Below half a dot per inch is no resolution a scanner has: as a file that states none.
    const long long dots = perMetre > 0 ? (static_cast<long long>(perMetre) * 254 + 5000) / 10000 : 0;
    return dots < 1 ? 200 : static_cast<int>(std::min<long long>(dots, 32767));
}

bool CanCropDib(const layout::DibLayout& dib) {
    return dib.compression == layout::kCompressionRgb || dib.compression == layout::kCompressionBitFields;
}

HGLOBAL CropDib(const std::uint8_t* dib, std::size_t size, int left, int top, int width, int height) {
    const auto layout = layout::InspectDib(dib, size);
    if (!layout || !CanCropDib(*layout)) return nullptr;
    const int rows = layout->height < 0 ? -layout->height : layout->height;
    if (left < 0 || top < 0 || width <= 0 || height <= 0 || width > layout->width - left || height > rows - top) {
        return nullptr;
    }
    const auto fromStride = static_cast<std::size_t>(layout::DibRowBytes(layout->width, layout->bitCount));
    const auto toStride = static_cast<std::size_t>(layout::DibRowBytes(width, layout->bitCount));
    GlobalBlock block(::GlobalAlloc(GHND, layout->bitsOffset + toStride * static_cast<std::size_t>(height)));
    GlobalLockGuard locked(block.get());
    if (!locked) return nullptr;
    std::memcpy(locked.data(), dib, layout->bitsOffset);  // header, masks, colour table
    auto* header = static_cast<BITMAPINFOHEADER*>(locked.data());
    header->biWidth = width;
    header->biHeight = layout->height < 0 ? -height : height;
    header->biSizeImage = static_cast<DWORD>(toStride * static_cast<std::size_t>(height));
    const unsigned bits = layout->bitCount;
    const bool bottomUp = layout->height > 0;
    for (int y = 0; y < height; ++y) {
        // Row y of the frame from the top, where each DIB keeps it.
        const int fromRow = bottomUp ? rows - 1 - (top + y) : top + y;
        const int toRow = bottomUp ? height - 1 - y : y;
        const std::uint8_t* from = dib + layout->bitsOffset + fromStride * static_cast<std::size_t>(fromRow);
        std::uint8_t* to = locked.bytes() + layout->bitsOffset + toStride * static_cast<std::size_t>(toRow);
        if (bits >= 8) {
            std::memcpy(to, from + static_cast<std::size_t>(left) * (bits / 8), static_cast<std::size_t>(width) * (bits / 8));
            continue;
        }
        // 1 and 4 bits: pixel by pixel, the leftmost in the high bits of each byte.
        const unsigned perByte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (int x = 0; x < width; ++x) {
            const unsigned source = static_cast<unsigned>(left + x);
            const unsigned value = (from[source / perByte] >> (8 - bits * (source % perByte + 1))) & mask;
            to[x / perByte] |= static_cast<std::uint8_t>(value << (8 - bits * (static_cast<unsigned>(x) % perByte + 1)));
        }
    }
    return block.release();
}

HGLOBAL LoadBitmapFileDib(const std::string& path, std::string* whyNot) {
    std::vector<std::uint8_t> file;
    try {
        file = ReadFileBytes(path, kMaxImageFileBytes);
    } catch (const Error&) {
        *whyNot = "cannot read " + path + " (missing, unreadable or over 256 MB)";
        return nullptr;
    }
    const auto dib = layout::PackedDibFromBmpFile(file.data(), file.size());
    if (!dib) {
        *whyNot = path + " is not a Windows bitmap this scanner delivers";
        return nullptr;
    }
    GlobalBlock block(::GlobalAlloc(GHND, dib->size()));
    if (!block) return nullptr;
    {
        GlobalLockGuard locked(block.get());
        if (!locked) return nullptr;
        std::memcpy(locked.data(), dib->data(), dib->size());
    }
    return block.release();
}

}  // namespace kavrel::vscan
