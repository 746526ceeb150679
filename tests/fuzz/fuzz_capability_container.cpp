// Fuzz target: a capability container as a source hands it over. The first byte chooses the
// container type; the rest is the block. Nothing may be read or written outside it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "twain/capability_containers.h"
#include "twain/twain_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavrel::twainlib;
    if (size < 1) return 0;
    const std::uint16_t conType = static_cast<std::uint16_t>(twain::TWON_ARRAY + data[0] % 4);
    std::vector<std::uint8_t> block(data + 1, data + size);
    if (const auto view = ViewContainer(conType, block.data(), block.size())) {
        for (std::uint32_t i = 0; i < view->itemsInBlock && i < 4096; ++i) (void)IntegerItem(*view, block.data(), i);
        (void)IntegerItem(*view, block.data(), view->numItems);
    }
    for (unsigned type = 0; type <= twain::TWTY_STR255 + 1; ++type) {
        std::uint8_t place[256];
        (void)ReadCurrentValue(conType, block.data(), block.size(), type, place);
    }
    // Narrowing writes into the block; on a copy whose start is aligned as a memory block's.
    std::vector<std::uint16_t> aligned((block.size() + 1) / 2);
    if (!block.empty()) std::memcpy(aligned.data(), block.data(), block.size());
    (void)NarrowPixelTypes(conType, reinterpret_cast<std::uint8_t*>(aligned.data()), block.size(), 0xFFFFFFFFu);
    return 0;
}
