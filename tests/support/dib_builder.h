// Hand-built DIBs for the tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace kavrel::test {

// A packed DIB: 40-byte header, colour table, rows bottom-up (top-down for a negative height),
// each padded to 4 bytes.
struct DibSpec {
    int width = 4;
    int height = 4;
    int bitCount = 24;
    std::uint32_t clrUsed = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t sizeImage = 0;
    std::uint32_t headerSize = 40;
    int seed = 0;
};

// The bytes of such a DIB. Colour-table entry i is (blue i, green 255 - i, red i / 2); pixel
// bytes follow a pattern of the seed.
std::vector<std::uint8_t> DibBytes(const DibSpec& spec);

// The same bytes in a movable global memory block (extra bytes at the end, if asked, zero).
HGLOBAL MakeDibBlock(const DibSpec& spec, std::size_t extra = 0);
// A block holding exactly these bytes.
HGLOBAL BlockOf(const std::vector<std::uint8_t>& bytes, UINT flags = GMEM_MOVEABLE);
std::vector<std::uint8_t> BytesOf(HGLOBAL block);

// The bytes of a bitmap information header of `size` bytes (40, or 108/124 for the later
// versions), with the fields a test sets; the rest zero.
std::vector<std::uint8_t> InfoHeaderBytes(std::uint32_t size, int width, int height, int bits, std::uint32_t compression,
                                          std::uint32_t sizeImage = 0, std::uint32_t colours = 0);

// A bitmap file: the file header, the DIB's header, what follows it (colour table or masks) and
// the pixel bytes, which the file header points at.
std::vector<std::uint8_t> BmpFileOf(const std::vector<std::uint8_t>& header, const std::vector<std::uint8_t>& table,
                                    const std::vector<std::uint8_t>& pixels);

// A bitmap file of 1 or 8 bits a pixel with the given colour table, whose pixel (x, y), counted
// from the top, has the table index index(x, y).
std::vector<std::uint8_t> PaletteBmpFile(int width, int height, int bits, const std::vector<RGBQUAD>& table,
                                         const std::function<int(int x, int y)>& index);

// Frees, at the end of a test, the global blocks handed to it.
class BlockKeeper {
public:
    BlockKeeper() = default;
    BlockKeeper(const BlockKeeper&) = delete;
    BlockKeeper& operator=(const BlockKeeper&) = delete;
    ~BlockKeeper() {
        for (HGLOBAL b : blocks_) ::GlobalFree(b);
    }
    HGLOBAL Keep(HGLOBAL b) {
        blocks_.push_back(b);
        return b;
    }

private:
    std::vector<HGLOBAL> blocks_;
};

// Row bytes of a DIB row.
inline std::size_t RowBytes(int width, int bitCount) {
    return static_cast<std::size_t>(((width * bitCount + 31) / 32) * 4);
}

}  // namespace kavrel::test
