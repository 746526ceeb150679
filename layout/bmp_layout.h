// Windows bitmap files (.bmp) as bytes: the file header, a packed DIB made from a whole file (the
// old 12-byte core header and misplaced pixel data included), and the arithmetic of a file written
// from a DIB, with the checks that keep a writer inside the DIB's memory. Plain C++, no Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace kavrel::layout {

constexpr std::uint32_t kBmpFileHeaderSize = 14;
constexpr std::uint32_t kBmpHeadersSize = 54;  // file header and a 40-byte information header

// --- reading -----------------------------------------------------------------------------------

struct BmpFileHeader {
    std::uint32_t fileSize = 0;  // bfSize: the whole file as the header claims it
    std::uint32_t offBits = 0;   // bfOffBits: where the pixels begin, counted from the file's start
};

// The file header of the `size` bytes at `file`: none unless there are 14 bytes beginning "BM".
std::optional<BmpFileHeader> ReadBmpFileHeader(const std::uint8_t* file, std::size_t size);

// The bytes of the DIB that follows a file header claiming `header.fileSize`, when the file really
// has them: at least a core header's worth, and no more than the `bytesAfterHeader` there are.
std::optional<std::uint32_t> BmpDibBytes(const BmpFileHeader& header, std::uint64_t bytesAfterHeader);

// A DIB read from a file whose information header claims a table longer than 256 colours at 8
// bits a pixel or fewer, as some writers leave it: GDI reads only the first 2^bits entries, and
// the DIB is made to claim those (a biClrUsed of 0 says so); the rest then lie in the gap before
// the pixels (PixelGapOf). Otherwise no entry would count as its table: the table would be taken
// for such a gap and dropped, or the DIB refused as one GDI reads past. Other DIBs are left alone.
void ClaimOnlyTheTableGdiReads(std::uint8_t* dib, std::size_t size);

// The bytes between the colour table and the pixels of a DIB read from a file whose header places
// its pixels `offBits` from the file's start, past where a packed DIB keeps them: removed, they
// make the packed DIB. None where the offset is no sane place for them (within the table, or with
// the pixels then running past the `size` bytes of the DIB): the DIB is then taken as it lies.
struct PixelGap {
    std::size_t at = 0;     // where the gap starts, counted from the DIB's start
    std::size_t bytes = 0;  // its length
};
std::optional<PixelGap> PixelGapOf(const std::uint8_t* dib, std::size_t size, std::uint32_t offBits);

// A whole .bmp file turned into a packed DIB that InspectDib accepts: a core header is rewritten as
// a 40-byte header with a four-byte colour table, and pixels that the file header places elsewhere
// than straight after the colour table are moved there (files with a wrong offset are common: the
// offset is followed only when it is a sane place). None when the file is no bitmap or its
// headers claim more than it holds.
std::optional<std::vector<std::uint8_t>> PackedDibFromBmpFile(const std::uint8_t* file, std::size_t size);

// --- writing -----------------------------------------------------------------------------------

enum class BmpPlanResult {
    Write,          // the plan holds the file's numbers
    NothingToWrite, // compressed data without an image size: nothing is written
    Refused,        // the header claims more than the DIB holds, or a layout this writer
                    // does not write (a header other than 40 bytes, rows stored top-down,
                    // more than 256 colours)
};

struct BmpPlan {
    BmpPlanResult result = BmpPlanResult::Refused;
    std::uint32_t colours = 0;     // the DIB's colour-table entries (DibColorTable)
    std::uint32_t sizeImage = 0;   // biSizeImage (computed for uncompressed rows)
    std::uint32_t offBits = 0;     // 54 + 4 × colours
    std::uint32_t fileSize = 0;    // offBits + sizeImage
};

// The plan for writing the DIB whose bytes start at `dib`, of which `available` bytes may be
// read (the size of its memory block; the maximum when it is not known).
BmpPlan PlanBmpFile(const std::uint8_t* dib,
                    std::size_t available = std::numeric_limits<std::size_t>::max());

// The 14 bytes of the file header for a plan: "BM", bfSize, two zero reserved fields, bfOffBits.
void FillBmpFileHeader(const BmpPlan& plan, std::uint8_t (&header)[kBmpFileHeaderSize]);

}  // namespace kavrel::layout
