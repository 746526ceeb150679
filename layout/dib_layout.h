// The layout of a packed DIB (information header, colour table, pixel rows) read from a byte
// buffer, with every claim of the header checked against the bytes really there. Plain C++, no
// Windows: the TWAIN library, the pictures and the virtual scanner all use it, and it is built
// and tested natively as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kavrel::layout {

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCoreHeaderSize = 12;

// biCompression codes (BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS).
constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;
// The three colour masks that follow a 40-byte header with bit-field compression.
constexpr std::uint32_t kBitFieldMasksSize = 12;

// Colour-table entries of a DIB by its header: a core header (size 12) has 2^bitcount; an
// information header has biClrUsed if set, else 2^biBitCount up to 8 bits and none above; any
// count above 256 is 0. Needs the header's first 12 (core) or 40 bytes; 0 when `size` is less.
int DibColorCount(const std::uint8_t* header, std::size_t size);

// The colour-table entries GDI reads after an information header when it draws the DIB: for 8 bits
// a pixel or fewer, biClrUsed but at most 2^biBitCount (2^biBitCount when biClrUsed is 0); none
// for more. A block must hold these wherever a DIB in it is drawn, whatever DibColorCount says
// (which counts no table for a biClrUsed above 256). Needs the header's first 40 bytes.
std::uint32_t GdiColorTableEntries(const std::uint8_t* header, std::size_t size);

// Bytes of one pixel row: ((width × bitCount + 31) / 32) × 4; 0 for a width that is not positive.
// The one place the row stride of any bitmap in memory or in a file is computed.
std::uint64_t DibRowBytes(std::int64_t width, unsigned bitCount);

struct DibLayout {
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative for rows stored top-down
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::uint32_t clrUsed = 0;
    int colorCount = 0;
    std::size_t colorTableOffset = 0;  // where the colour table (or the bit-field masks) starts
    std::size_t bitsOffset = 0;        // where the pixel rows start
    std::uint64_t pixelBytes = 0;      // bytes of pixel data the header describes
};

// The layout of a DIB with a 40-byte (or longer) information header, if everything the header
// describes lies within `size` bytes and it is a bitmap that can be drawn: a positive width, a
// non-zero height, a bit count of 1, 4, 8, 16, 24 or 32, uncompressed, bit fields or RLE data.
std::optional<DibLayout> InspectDib(const std::uint8_t* block, std::size_t size);

}  // namespace kavrel::layout
