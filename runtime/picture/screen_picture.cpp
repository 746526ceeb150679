#include "runtime/picture/screen_picture.h"

#include <algorithm>

#include "base/error.h"
#include "layout/dib_layout.h"
#include "runtime/picture/bitmap.h"

namespace kavrel::picture {

namespace {

constexpr int kStripRows = 64;

// The screen's pixel format as a DIB header (with bit-field masks where it has them): asked of a
// bitmap compatible with the screen.
struct ScreenFormat {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

ScreenFormat QueryScreenFormat() {
    ScreenFormat format{};
    WindowDc screen(nullptr);
    Bitmap probe(::CreateCompatibleBitmap(screen.get(), 1, 1));
    format.header.biSize = sizeof(BITMAPINFOHEADER);
    if (probe) {
        // The first call fills in the header, the second the masks of a bit-field format.
        ::GetDIBits(screen.get(), probe.get(), 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS);
        if (format.header.biCompression == BI_BITFIELDS) {
            ::GetDIBits(screen.get(), probe.get(), 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&format),
                        DIB_RGB_COLORS);
        }
    }
    if (format.header.biBitCount == 0) {
        format.header.biBitCount = static_cast<WORD>(::GetDeviceCaps(screen.get(), BITSPIXEL) *
                                                     ::GetDeviceCaps(screen.get(), PLANES));
    }
    return format;
}

// Whether pixels in this format keep 8 bits a colour where a 24- or 32-bit BI_RGB row has them:
// plain rows, or bit fields with those masks (as a 32-bit X display reports its format).
bool HoldsPlainTrueColour(const ScreenFormat& format) {
    const bool plainMasks = format.header.biCompression != BI_BITFIELDS ||
                            (format.masks[0] == 0xFF0000 && format.masks[1] == 0xFF00 && format.masks[2] == 0xFF);
    return plainMasks && (format.header.biBitCount == 24 || format.header.biBitCount == 32);
}

}  // namespace

bool ScreenIsPlainTrueColour() { return HoldsPlainTrueColour(QueryScreenFormat()); }

ScreenPicture::ScreenPicture(int width, int height) : width_(width), height_(height) {
    CheckPictureSize(width, height);
    const ScreenFormat screen = QueryScreenFormat();
    bitsPerPixel_ = screen.header.biBitCount;
    dc_.reset(::CreateCompatibleDC(nullptr));
    if (!dc_) throw Error("Недостаточно ресурсов для изображения");

    if (bitsPerPixel_ >= 16) {
        // A DIB section in the screen's format: drawing into it is what drawing on the screen
        // would do to the colours, and its pixels can be read without a copy.
        ScreenFormat format = screen;
        format.header.biWidth = width;
        format.header.biHeight = -height;  // top-down: row y is the y-th row from the top
        format.header.biPlanes = 1;
        format.header.biSizeImage = 0;
        format.header.biClrUsed = 0;
        format.header.biClrImportant = 0;
        if (format.header.biCompression != BI_BITFIELDS) format.header.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS,
                                         &bits, nullptr, 0));
        bits_ = static_cast<std::uint8_t*>(bits);
        stride_ = static_cast<std::size_t>(layout::DibRowBytes(width, bitsPerPixel_));
        // Rows with 8 bits a colour in their plain places are read in place.
        direct_ = HoldsPlainTrueColour(format);
    } else {
        // A palette screen: a device-dependent bitmap, converted to colour rows when read.
        WindowDc screenDc(nullptr);
        bitmap_.reset(::CreateCompatibleBitmap(screenDc.get(), width, height));
    }
    if (!bitmap_) {
        throw Error("Недостаточно памяти для изображения " + std::to_string(width) + " x " +
                    std::to_string(height) + " точек");
    }
    selected_.emplace(dc_.get(), bitmap_.get());
}

std::size_t ScreenPicture::ConvertedRowBytes() const {
    return static_cast<std::size_t>(layout::DibRowBytes(width_, 24));
}

jpeg::RowLayout ScreenPicture::Layout() const {
    return direct_ && bitsPerPixel_ == 32 ? jpeg::RowLayout::Bgrx : jpeg::RowLayout::Bgr;
}

void ScreenPicture::Drawn() {
    ::GdiFlush();
    convertedFirst_ = -1;
    convertedCount_ = 0;
}

const std::uint8_t* ScreenPicture::Row(int y) {
    if (direct_) return bits_ + stride_ * static_cast<std::size_t>(y);
    if (y < convertedFirst_ || y >= convertedFirst_ + convertedCount_) {
        // Convert a strip of rows to 24-bit colour at a time.
        convertedFirst_ = y;
        convertedCount_ = std::min(kStripRows, height_ - y);
        converted_.resize(ConvertedRowBytes() * static_cast<std::size_t>(convertedCount_));
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        // GetDIBits wants the bitmap out of any DC while it reads.
        selected_.reset();
        const int got = ::GetDIBits(dc_.get(), bitmap_.get(), static_cast<UINT>(height_ - y - convertedCount_),
                                    static_cast<UINT>(convertedCount_), converted_.data(), &info, DIB_RGB_COLORS);
        selected_.emplace(dc_.get(), bitmap_.get());
        if (got != convertedCount_) throw Error("Не удалось прочитать изображение");
    }
    return converted_.data() + ConvertedRowBytes() * static_cast<std::size_t>(y - convertedFirst_);
}

}  // namespace kavrel::picture
