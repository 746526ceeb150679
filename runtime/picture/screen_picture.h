// An off-screen picture in the screen's own pixel format: a bitmap that is never shown, with a
// device context to draw into, and its pixels read back as 24-bit colour rows. It may be drawn
// into and read again and again (the scanning road reuses one for every band of a page).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/win_handles.h"
#include "runtime/jpeg/jpeg_codec.h"

namespace kavrel::picture {

// Whether the screen keeps 8 bits a colour, blue, green and red in the places a 24- or 32-bit
// BI_RGB row has them: drawing such a row one to one in the screen's format then only copies it.
bool ScreenIsPlainTrueColour();

class ScreenPicture {
public:
    // Throws kavrel::Error when the size is refused or the bitmap cannot be made.
    ScreenPicture(int width, int height);
    ScreenPicture(const ScreenPicture&) = delete;
    ScreenPicture& operator=(const ScreenPicture&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    HDC Dc() const { return dc_.get(); }

    // Tells the picture that drawing through Dc() has changed its pixels: the drawing still queued
    // is flushed (once, not for every row read) and rows converted before are read again.
    void Drawn();

    // The pixels as colour rows for the JPEG encoder: read in place when the screen format
    // already holds 8 bits a colour (24 or 32 bits a pixel), converted otherwise, so that colours
    // pass through the screen's format on their way. Row y counts from the top; valid until the
    // next call.
    jpeg::RowLayout Layout() const;
    const std::uint8_t* Row(int y);

private:
    std::size_t ConvertedRowBytes() const;

    int width_;
    int height_;
    int bitsPerPixel_ = 0;
    bool direct_ = false;
    CreatedDc dc_;
    Bitmap bitmap_;
    std::optional<SelectionGuard> selected_;  // the bitmap in dc_, taken out while GetDIBits reads it
    std::uint8_t* bits_ = nullptr;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> converted_;  // a strip of rows converted to 24 bits
    int convertedFirst_ = -1;
    int convertedCount_ = 0;
};

}  // namespace kavrel::picture
