// The arithmetic of a BMP file written from a DIB: the colour count, the image size, the
// file header's offsets, and the checks that keep the writer inside the DIB's memory. No Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace kavrel::twainlib {

constexpr std::uint32_t kBmpFileHeaderSize = 14;
constexpr std::uint32_t kBmpHeadersSize = 54;  // file header and a 40-byte information header

enum class BmpPlanResult {
    Write,          // the plan holds the file's numbers
    NothingToWrite, // compressed data without an image size: nothing is written
    Refused,        // the header claims more than the DIB holds, or a layout this writer
                    // does not write (a header other than 40 bytes, rows stored top-down)
};

struct BmpPlan {
    BmpPlanResult result = BmpPlanResult::Refused;
    std::uint32_t colours = 0;     // biClrUsed, or 2^biBitCount up to 8 bits when it is 0
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

}  // namespace kavrel::twainlib
