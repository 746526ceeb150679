#include "layout/dib_layout.h"

#include <cstring>

#include "layout/byte_fields.h"

namespace kavrel::layout {

std::optional<DibColorTable> ReadDibColorTable(const std::uint8_t* header, std::size_t size) {
    if (!header || size < 4) return std::nullopt;
    DibColorTable table;
    std::uint16_t bits = 0;
    if (LoadField<std::uint32_t>(header) == kCoreHeaderSize) {
        if (size < kCoreHeaderSize) return std::nullopt;
        bits = LoadField<std::uint16_t>(header + 10);
        table.entryBytes = 3;
        table.offset = kCoreHeaderSize;
    } else {
        if (size < kInfoHeaderSize) return std::nullopt;
        bits = LoadField<std::uint16_t>(header + 14);
        table.claimed = LoadField<std::uint32_t>(header + 32);
        table.offset = LoadField<std::uint32_t>(header);
        if (table.offset == kInfoHeaderSize && LoadField<std::uint32_t>(header + 16) == kCompressionBitFields) {
            table.offset += kBitFieldMasksSize;
        }
    }
    // 0 bits a pixel (JPEG or PNG data) has no table of its own.
    const std::uint64_t full = bits >= 1 && bits <= 8 ? std::uint64_t{1} << bits : 0;
    if (table.claimed == 0) table.claimed = static_cast<std::uint32_t>(full);
    table.entries = table.Countable() ? table.claimed : 0;
    if (table.entryBytes == 4) {
        table.gdiReads = static_cast<std::uint32_t>(table.claimed < full ? table.claimed : full);
    } else {
        table.gdiReads = table.entries;
    }
    return table;
}

int DibColorCount(const std::uint8_t* header, std::size_t size) {
    const auto table = ReadDibColorTable(header, size);
    return table ? static_cast<int>(table->entries) : 0;
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
    const auto table = ReadDibColorTable(block, size);
    d.colorCount = static_cast<int>(table->entries);
    d.colorTableOffset = d.headerSize;
    // The pixel rows follow the table (and the masks of a 40-byte header with bit fields, which
    // sit where a colour table would; a longer header holds the masks itself).
    const std::uint64_t bitsOffset = table->offset + std::uint64_t{4} * table->entries;
    if (bitsOffset > size) return std::nullopt;
    // The table GDI reads when the DIB is drawn must be in the block too (a header claiming 257
    // colours at 8 bits has no table here, yet GDI reads 256 entries).
    if (table->End() > size) return std::nullopt;
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
