// Fuzz target: a DIB in memory as a scanner delivers it -- header, colour table, rows -- put to the
// layout checks and the BMP writer's plan, with the block exactly as long as the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "layout/bmp_layout.h"
#include "layout/dib_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavrel::layout;
    // A copy of exactly `size` bytes, so that a read past the block is seen.
    const std::vector<std::uint8_t> block(data, data + size);
    (void)DibColorCount(block.data(), block.size());
    if (const auto layout = InspectDib(block.data(), block.size())) {
        if (layout->bitsOffset + layout->pixelBytes > block.size()) __builtin_trap();
    }
    const BmpPlan plan = PlanBmpFile(block.data(), block.size());
    if (plan.result == BmpPlanResult::Write && plan.fileSize - kBmpFileHeaderSize > block.size()) __builtin_trap();
    return 0;
}
