// Fuzz target: a .bmp file's bytes, as the viewer and the virtual scanner read them, and the
// writer's plan for the DIB made of them.
#include <cstddef>
#include <cstdint>

#include "layout/bmp_layout.h"
#include "layout/dib_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavrel::layout;
    if (const auto header = ReadBmpFileHeader(data, size)) (void)BmpDibBytes(*header, size - kBmpFileHeaderSize);
    const auto dib = PackedDibFromBmpFile(data, size);
    if (!dib) return 0;
    // What comes out must be a DIB whose every claim holds within its bytes.
    const auto layout = InspectDib(dib->data(), dib->size());
    if (!layout || layout->bitsOffset + layout->pixelBytes > dib->size()) __builtin_trap();
    (void)PlanBmpFile(dib->data(), dib->size());
    return 0;
}
