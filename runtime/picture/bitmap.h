// A picture held in memory: a top-down DIB section of 32 bits a pixel (blue, green, red,
// unused) or, for decoded photographs, 24 (blue, green, red).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "base/win_handles.h"
#include "layout/dib_layout.h"

namespace kavrel::picture {

// Pictures larger than this are refused before anything is allocated: a 32-bit host process
// has about 2 GB of address space, and a lying file header must not be able to take it.
constexpr std::int64_t kMaxPixels = 50'000'000;  // 200 MB of pixels; an A4 page at 600 dpi is 35 M
constexpr int kMaxSide = 32767;                  // the largest window and GDI extent

// Throws kavrel::Error (with an operator's message) unless width × height is a picture we make.
void CheckPictureSize(std::int64_t width, std::int64_t height);

class DibBitmap {
public:
    // A new picture of the given size, all pixels black. Throws kavrel::Error when the size is
    // refused or the memory cannot be had.
    DibBitmap(int width, int height, int bitsPerPixel = 32);
    DibBitmap(const DibBitmap&) = delete;
    DibBitmap& operator=(const DibBitmap&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    HBITMAP Handle() const { return bitmap_.get(); }
    int BitsPerPixel() const { return bitsPerPixel_; }
    // Row y (0 = top), 3 or 4 bytes per pixel.
    std::uint8_t* Row(int y) { return bits_ + static_cast<std::size_t>(y) * Stride(); }
    const std::uint8_t* Row(int y) const { return bits_ + static_cast<std::size_t>(y) * Stride(); }
    std::size_t Stride() const { return static_cast<std::size_t>(layout::DibRowBytes(width_, bitsPerPixel_)); }
    const BITMAPINFO& Info() const { return info_; }

    // Copies the whole picture to `dc` at (x, y), one device pixel per picture pixel.
    void Draw(HDC dc, int x, int y) const;
    // Draws the whole picture stretched into the rectangle (x, y, width, height) of `dc`. False
    // when the device refused the drawing (a printer driver out of memory for a large picture).
    bool DrawStretched(HDC dc, int x, int y, int width, int height) const;

    // A new picture of the given size holding this one stretched over all of it.
    std::unique_ptr<DibBitmap> Resampled(int width, int height) const;

private:
    int width_;
    int height_;
    int bitsPerPixel_;
    BITMAPINFO info_{};
    std::uint8_t* bits_ = nullptr;
    Bitmap bitmap_;
};

}  // namespace kavrel::picture
