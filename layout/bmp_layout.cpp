#include "layout/bmp_layout.h"

#include <cstring>

#include "layout/byte_fields.h"
#include "layout/dib_layout.h"

namespace kavrel::layout {

namespace {

// The old 12-byte core header (16-bit width and height, three-byte colour entries) rewritten as a
// 40-byte header with a four-byte colour table, followed by the pixels found at `bitsAt`.
std::optional<std::vector<std::uint8_t>> FromCoreHeader(const std::uint8_t* dib, std::size_t size,
                                                         std::size_t bitsAt) {
    const std::uint16_t width = LoadField<std::uint16_t>(dib + 4);
    const std::uint16_t height = LoadField<std::uint16_t>(dib + 6);
    const std::uint16_t bits = LoadField<std::uint16_t>(dib + 10);
    const auto colours = static_cast<std::size_t>(DibColorCount(dib, size));
    if (kCoreHeaderSize + 3 * colours > size || bitsAt > size) return std::nullopt;
    std::vector<std::uint8_t> out(kInfoHeaderSize + 4 * colours);
    StoreField<std::uint32_t>(out.data(), kInfoHeaderSize);
    StoreField<std::int32_t>(out.data() + 4, width);
    StoreField<std::int32_t>(out.data() + 8, height);
    StoreField<std::uint16_t>(out.data() + 12, 1);  // planes
    StoreField<std::uint16_t>(out.data() + 14, bits);
    StoreField<std::uint32_t>(out.data() + 16, kCompressionRgb);
    for (std::size_t i = 0; i < colours; ++i) {
        std::memcpy(out.data() + kInfoHeaderSize + 4 * i, dib + kCoreHeaderSize + 3 * i, 3);
    }
    out.insert(out.end(), dib + bitsAt, dib + size);
    return out;
}

}  // namespace

std::optional<BmpFileHeader> ReadBmpFileHeader(const std::uint8_t* file, std::size_t size) {
    if (!file || size < kBmpFileHeaderSize || file[0] != 'B' || file[1] != 'M') return std::nullopt;
    BmpFileHeader header;
    header.fileSize = LoadField<std::uint32_t>(file + 2);
    header.offBits = LoadField<std::uint32_t>(file + 10);
    return header;
}

std::optional<std::uint32_t> BmpDibBytes(const BmpFileHeader& header, std::uint64_t bytesAfterHeader) {
    if (header.fileSize < kBmpFileHeaderSize + kCoreHeaderSize) return std::nullopt;
    const std::uint32_t dibBytes = header.fileSize - kBmpFileHeaderSize;
    if (dibBytes > bytesAfterHeader) return std::nullopt;
    return dibBytes;
}

void ClaimOnlyTheTableGdiReads(std::uint8_t* dib, std::size_t size) {
    const auto table = ReadDibColorTable(dib, size);
    if (table && !table->Countable() && table->gdiReads > 0) {
        StoreField<std::uint32_t>(dib + 32, 0);
    }
}

std::optional<PixelGap> PixelGapOf(const std::uint8_t* dib, std::size_t size, std::uint32_t offBits) {
    if (offBits < kBmpFileHeaderSize) return std::nullopt;
    const std::size_t bitsAt = offBits - kBmpFileHeaderSize;
    const auto layout = InspectDib(dib, size);
    if (!layout || bitsAt <= layout->bitsOffset || bitsAt >= size || layout->pixelBytes > size - bitsAt) {
        return std::nullopt;
    }
    return PixelGap{layout->bitsOffset, bitsAt - layout->bitsOffset};
}

std::optional<std::vector<std::uint8_t>> PackedDibFromBmpFile(const std::uint8_t* file, std::size_t size) {
    const auto header = ReadBmpFileHeader(file, size);
    if (!header || size < kBmpFileHeaderSize + kCoreHeaderSize) return std::nullopt;
    const std::uint8_t* dib = file + kBmpFileHeaderSize;
    const std::size_t dibSize = size - kBmpFileHeaderSize;
    const std::uint32_t headerSize = LoadField<std::uint32_t>(dib);
    // Where the file header says the pixels begin, counted from the DIB's start; meaningful only
    // when it lies past the headers and inside the file.
    const bool offsetInFile = header->offBits >= kBmpFileHeaderSize && header->offBits < size;
    const std::size_t claimedBitsAt = offsetInFile ? header->offBits - kBmpFileHeaderSize : 0;

    std::optional<std::vector<std::uint8_t>> packed;
    if (headerSize == kCoreHeaderSize) {
        const std::size_t tableEnd = kCoreHeaderSize + 3 * static_cast<std::size_t>(DibColorCount(dib, dibSize));
        packed = FromCoreHeader(dib, dibSize, offsetInFile && claimedBitsAt >= tableEnd ? claimedBitsAt : tableEnd);
    } else {
        packed.emplace(dib, dib + dibSize);
        ClaimOnlyTheTableGdiReads(packed->data(), packed->size());
        if (const auto gap = PixelGapOf(packed->data(), packed->size(), header->offBits)) {
            // Move the pixels to where a packed DIB keeps them.
            packed->erase(packed->begin() + static_cast<std::ptrdiff_t>(gap->at),
                          packed->begin() + static_cast<std::ptrdiff_t>(gap->at + gap->bytes));
        }
    }
    if (!packed || !InspectDib(packed->data(), packed->size())) return std::nullopt;
    return packed;
}

BmpPlan PlanBmpFile(const std::uint8_t* dib, std::size_t available) {
    BmpPlan plan;
    if (!dib || available < kInfoHeaderSize) return plan;
    const std::uint32_t headerSize = LoadField<std::uint32_t>(dib);
    const std::int32_t width = LoadField<std::int32_t>(dib + 4);
    const std::int32_t height = LoadField<std::int32_t>(dib + 8);
    const std::uint16_t bitCount = LoadField<std::uint16_t>(dib + 14);
    const std::uint32_t compression = LoadField<std::uint32_t>(dib + 16);

    // The file's offsets count a 40-byte header; a longer one would not match them, and the
    // image-size rule is for rows stored bottom-up.
    if (headerSize != kInfoHeaderSize || height < 0) return plan;
    // The file carries the table that lies in the DIB. A claim of more than 256 colours is none
    // here, while GDI would take the pixels after the header for colours and other readers look
    // for a table of that size: such a DIB is not written.
    const DibColorTable table = *ReadDibColorTable(dib, available);
    if (!table.Countable()) return plan;
    const std::uint64_t colours = table.entries;
    std::uint64_t sizeImage = LoadField<std::uint32_t>(dib + 20);
    if (compression == kCompressionRgb || compression == kCompressionBitFields) {
        // Rows as they are stored, whatever the header's image size says (a smaller one would cut
        // the file's last rows off).
        sizeImage = static_cast<std::uint64_t>(height) * DibRowBytes(width, bitCount);
    } else if (sizeImage == 0) {
        plan.result = BmpPlanResult::NothingToWrite;
        return plan;
    }
    // What cannot be drawn is not written either (a height of 0, a width below 0, a bit count GDI
    // has no rows for, bit fields at 8 bits, run lengths of the wrong depth): a file of it would
    // claim a bitmap no reader can show. Other compressions (JPEG, PNG) are written as they are.
    if (compression <= kCompressionBitFields && !InspectDib(dib, available)) return plan;
    // The three bit-field masks of a 40-byte header lie between it and the pixels (where a colour
    // table would): they belong in the file, inside the offset and the size, or the file's pixel
    // offset points at the masks and its last 12 pixel bytes are missing.
    const std::uint64_t masks = compression == kCompressionBitFields ? kBitFieldMasksSize : 0;
    const std::uint64_t offBits = kBmpHeadersSize + 4 * colours + masks;
    const std::uint64_t fileSize = offBits + sizeImage;
    // Everything after the file header is copied from the DIB: it must all be there.
    if (fileSize > 0xFFFFFFFFu || fileSize - kBmpFileHeaderSize > available) return plan;
    plan.result = BmpPlanResult::Write;
    plan.colours = static_cast<std::uint32_t>(colours);
    plan.sizeImage = static_cast<std::uint32_t>(sizeImage);
    plan.offBits = static_cast<std::uint32_t>(offBits);
    plan.fileSize = static_cast<std::uint32_t>(fileSize);
    return plan;
}

void FillBmpFileHeader(const BmpPlan& plan, std::uint8_t (&header)[kBmpFileHeaderSize]) {
    std::memset(header, 0, sizeof header);
    header[0] = 'B';
    header[1] = 'M';
    StoreField<std::uint32_t>(header + 2, plan.fileSize);
    StoreField<std::uint32_t>(header + 10, plan.offBits);
}

}  // namespace kavrel::layout
