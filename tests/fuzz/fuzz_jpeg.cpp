// Fuzz target: a .jpg file's bytes through the viewer's decoder (libjpeg-turbo with the module's
// error manager): refused or decoded, never a crash, a hang or a read outside the data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/jpeg/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavrel::jpeg;
    JpegInfo info;
    std::string error;
    if (!ReadJpegHeader(data, size, &info, &error)) return 0;
    // The viewer refuses pictures larger than its limit before allocating; the fuzzer keeps to
    // small ones to stay fast.
    if (info.width <= 0 || info.height <= 0 || static_cast<long long>(info.width) * info.height > (1 << 20)) return 0;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(info.width) * 3 * static_cast<std::size_t>(info.height));
    (void)DecodeJpeg(data, size, info, [&](int y) { return pixels.data() + static_cast<std::size_t>(y) * info.width * 3; },
                     &error);
    return 0;
}
