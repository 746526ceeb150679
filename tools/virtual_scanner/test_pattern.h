// The virtual scanner's pages: a test pattern that tests can compute pixel by pixel, or an
// image file, delivered as packed DIBs in movable global memory blocks.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "layout/dib_layout.h"

namespace kavrel::vscan {

enum class PixelKind { BlackAndWhite, Grey, Colour };

struct Rgb {
    std::uint8_t red, green, blue;
};

// The colour of pattern pixel (x, y) (y from the top) of page `page` (0 = first). Smooth
// gradients with a dark "signature" stroke across them, so that JPEG compression keeps it close.
Rgb PatternColour(int x, int y, int width, int height, int page);
// Its grey level (the rounded luminance of the colour) and its black-and-white value.
std::uint8_t PatternGrey(int x, int y, int width, int height, int page);
bool PatternWhite(int x, int y, int width, int height, int page);

// A DIB of the pattern: 24 bits for colour, 8 bits with a grey palette, 1 bit with black and
// white, its header giving the resolution it was scanned at. Null when the memory cannot be had
// (or the pattern's pixels would take more than 1 GB).
HGLOBAL MakePatternDib(int width, int height, PixelKind kind, int page, int xDpi = 200, int yDpi = 200);

// Dots per inch from a DIB's pixels per metre, to the nearest dot (a file's figure was rounded
// from them); 200, the scanner's own resolution, for a DIB that states none (or less than one).
int DpiOfPelsPerMetre(long perMetre);

// Whether CropDib can cut this DIB: its rows are uncompressed (plain or bit fields), not RLE.
bool CanCropDib(const layout::DibLayout& dib);

// The part of an uncompressed DIB from column `left` and row `top` (counted from the top of the
// page), `width` by `height` pixels, in a new block, its rows stored as the page stores them and
// its colour table, masks and resolution kept. Null when the rectangle does not lie within the
// page, the DIB is compressed, or the memory cannot be had.
HGLOBAL CropDib(const std::uint8_t* dib, std::size_t size, int left, int top, int width, int height);

// A DIB read from a Windows bitmap file: its information header, colour table and rows as they
// are, packed (an old core header rewritten as an information header, pixel data the file keeps
// elsewhere moved behind the colour table). Null, with a reason, when the file is missing or is
// no bitmap this scanner delivers.
HGLOBAL LoadBitmapFileDib(const std::string& path, std::string* whyNot);

}  // namespace kavrel::vscan
