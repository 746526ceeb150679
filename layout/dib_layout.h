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

// The colour table of a DIB, by the one rule that the reader, the writer, the palette and the
// drawing of DIBs all follow. Two numbers, because what lies in the block and what GDI reads differ:
// - `entries` lie between the header and the pixels (where the pixels start, what a file written
//   from the DIB carries, what TWAIN_DibNumColors reports): biClrUsed if set, else 2^bits up to 8
//   bits and none above; a claim above 256 is no table at all (no palette has more entries);
// - `gdiReads` are the entries GDI reads after an information header when it draws the DIB: for 8
//   bits a pixel or fewer, biClrUsed but at most 2^bits (2^bits when biClrUsed is 0); none above.
// Where they differ the safe reading is taken: a block holds a DIB only when it holds both
// (End), so nothing is ever read past it; and a DIB claiming more than 256 colours,
// whose pixels GDI would read as colours, is not written to a file (Countable).
struct DibColorTable {
    std::uint32_t claimed = 0;     // biClrUsed, or 2^bits up to 8 bits when it is 0; uncapped
    std::uint32_t entries = 0;
    std::uint32_t gdiReads = 0;    // a core header (12 bytes) draws with its `entries` triples
    std::uint32_t entryBytes = 4;  // an RGBQUAD; an RGBTRIPLE after a core header
    // Where the table starts, counted from the header's start: after the header, and after the
    // three bit-field masks that follow a 40-byte header with bit-field compression.
    std::uint64_t offset = 0;

    // Whether the claim is a table the block can hold and GDI reads from it only.
    bool Countable() const { return claimed <= 256; }
    // Bytes the block must hold from its start for the table: what lies there and what GDI reads.
    std::uint64_t End() const { return offset + std::uint64_t{entryBytes} * (entries > gdiReads ? entries : gdiReads); }
    // The colours the image is shown with, for a palette: those GDI reads up to 8 bits; above, the
    // table a true-colour DIB may carry to help a palette display.
    std::uint32_t PaletteEntries() const { return gdiReads ? gdiReads : entries; }
};

// The colour table of the DIB whose header starts at `header`, of which `size` bytes may be read:
// a core header (size 12) needs 12 of them, an information header 40. None when they are not there.
std::optional<DibColorTable> ReadDibColorTable(const std::uint8_t* header, std::size_t size);

// DibColorTable's `entries` (0 when the header is cut short).
int DibColorCount(const std::uint8_t* header, std::size_t size);

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
