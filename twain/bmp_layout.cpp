#include "twain/bmp_layout.h"

#include <cstring>

#include "twain/byte_fields.h"

#include "twain/dib_layout.h"

namespace kavrel::twainlib {

namespace {
constexpr std::uint32_t kRgb = 0;
}  // namespace

BmpPlan PlanBmpFile(const std::uint8_t* dib, std::size_t available) {
    BmpPlan plan;
    if (!dib || available < kInfoHeaderSize) return plan;
    const std::uint32_t headerSize = LoadField<std::uint32_t>(dib);
    const std::int32_t width = LoadField<std::int32_t>(dib + 4);
    const std::int32_t height = LoadField<std::int32_t>(dib + 8);
    const std::uint16_t bitCount = LoadField<std::uint16_t>(dib + 14);
    const std::uint32_t compression = LoadField<std::uint32_t>(dib + 16);
    const std::uint32_t clrUsed = LoadField<std::uint32_t>(dib + 32);

    // The file's offsets count a 40-byte header; a longer one would not match them, and the
    // image-size rule is for rows stored bottom-up.
    if (headerSize != kInfoHeaderSize || height < 0) return plan;

    std::uint64_t colours = clrUsed;
    if (colours == 0 && bitCount <= 8) colours = std::uint64_t{1} << bitCount;
    std::uint64_t sizeImage = LoadField<std::uint32_t>(dib + 20);
    if (compression == kRgb) {
        sizeImage = static_cast<std::uint64_t>(height) * DibRowBytes(width, bitCount);
    } else if (sizeImage == 0) {
        plan.result = BmpPlanResult::NothingToWrite;
        return plan;
    }
    const std::uint64_t offBits = kBmpHeadersSize + 4 * colours;
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
    std::memcpy(header + 2, &plan.fileSize, 4);
    std::memcpy(header + 10, &plan.offBits, 4);
}

}  // namespace kavrel::twainlib
