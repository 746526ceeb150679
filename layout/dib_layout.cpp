#include "layout/dib_layout.h"

#include <cstring>

#include "layout/byte_fields.h"

namespace kavrel::layout {

namespace {

int CountFor(std::uint64_t count) { return count > 256 ? 0 : static_cast<int>(count); }

}  // namespace

int DibColorCount(const std::uint8_t* header, std::size_t size) {
    if (!header || size < 4) return 0;
    const std::uint32_t headerSize = LoadField<std::uint32_t>(header);
    if (headerSize == kCoreHeaderSize) {
        if (size < kCoreHeaderSize) return 0;
        const std::uint16_t bits = LoadField<std::uint16_t>(header + 10);
        return bits > 8 ? 0 : CountFor(std::uint64_t{1} << bits);
    }
    if (size < kInfoHeaderSize) return 0;
    const std::uint32_t clrUsed = LoadField<std::uint32_t>(header + 32);
    if (clrUsed != 0) return CountFor(clrUsed);
    const std::uint16_t bits = LoadField<std::uint16_t>(header + 14);
    return bits <= 8 ? CountFor(std::uint64_t{1} << bits) : 0;
}

std::uint32_t GdiColorTableEntries(const std::uint8_t* header, std::size_t size) {
    if (!header || size < kInfoHeaderSize) return 0;
    const std::uint16_t bits = LoadField<std::uint16_t>(header + 14);
    if (bits > 8) return 0;
    const std::uint32_t full = 1u << bits;
    const std::uint32_t clrUsed = LoadField<std::uint32_t>(header + 32);
    return clrUsed == 0 || clrUsed > full ? full : clrUsed;
}

std::uint64_t DibRowBytes(std::int64_t width, unsigned bitCount) {
    if (width <= 0) return 0;
    return ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
}

std::optional<DibLayout> InspectDib(const std::uint8_t* block, std::size_t size) {
    if (!block || size < kInfoHeaderSize) return std::nullopt;
    DibLayout d;
    d.headerSize = LoadField<std::uint32_t>(block);
    if (d.headerSize < kInfoHeaderSize || d.headerSize > size) return std::nullopt;
    d.width = LoadField<std::int32_t>(block + 4);
    d.height = LoadField<std::int32_t>(block + 8);
    d.bitCount = LoadField<std::uint16_t>(block + 14);
    d.compression = LoadField<std::uint32_t>(block + 16);
    d.sizeImage = LoadField<std::uint32_t>(block + 20);
    d.clrUsed = LoadField<std::uint32_t>(block + 32);
    if (d.width <= 0 || d.height == 0 || d.height == INT32_MIN) return std::nullopt;
    switch (d.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return std::nullopt;
    }
    d.colorCount = DibColorCount(block, size);
    d.colorTableOffset = d.headerSize;
    std::uint64_t tableBytes = std::uint64_t{4} * static_cast<unsigned>(d.colorCount);
    // The three bit-field masks of a 40-byte header sit where a colour table would; the pixel
    // rows come after them (a longer header holds the masks itself).
    if (d.compression == kCompressionBitFields && d.headerSize == kInfoHeaderSize) tableBytes += kBitFieldMasksSize;
    const std::uint64_t bitsOffset = std::uint64_t{d.headerSize} + tableBytes;
    if (bitsOffset > size) return std::nullopt;
    // The table GDI reads when the DIB is drawn must be in the block too (a header claiming 257
    // colours at 8 bits counts none above, yet GDI reads 256 entries).
    if (std::uint64_t{d.headerSize} + 4 * std::uint64_t{GdiColorTableEntries(block, size)} > size) return std::nullopt;
    d.bitsOffset = static_cast<std::size_t>(bitsOffset);
    const std::uint64_t rows = d.height < 0 ? static_cast<std::uint64_t>(-std::int64_t{d.height})
                                            : static_cast<std::uint64_t>(d.height);
    switch (d.compression) {
    case kCompressionRgb:
    case kCompressionBitFields:
        if (d.compression == kCompressionBitFields && d.bitCount != 16 && d.bitCount != 32) return std::nullopt;
        d.pixelBytes = DibRowBytes(d.width, d.bitCount) * rows;
        break;
    case kCompressionRle8:
    case kCompressionRle4:
        // Run-length data is as long as the header says; rows are bottom-up only.
        if (d.height < 0 || d.sizeImage == 0) return std::nullopt;
        if ((d.compression == kCompressionRle8) != (d.bitCount == 8)) return std::nullopt;
        if (d.compression == kCompressionRle4 && d.bitCount != 4) return std::nullopt;
        d.pixelBytes = d.sizeImage;
        break;
    default:
        return std::nullopt;  // JPEG, PNG and unknown compressions are not drawn here
    }
    if (d.pixelBytes > size - d.bitsOffset) return std::nullopt;
    return d;
}

}  // namespace kavrel::layout
