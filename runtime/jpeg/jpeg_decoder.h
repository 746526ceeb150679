// Decoding JPEG data held in memory into rows of blue, green, red. Plain C++ on libjpeg (built
// and fuzzed natively too); the viewer's pictures are made from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kavrel::jpeg {

struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
};

// The header alone: size and components. False, with libjpeg's message, for data that is no JPEG.
bool ReadJpegHeader(const std::uint8_t* data, std::size_t size, JpegInfo* info, std::string* error);

// Row y (0 = top) of the image being decoded: width × 3 bytes, blue, green, red.
using RowTarget = std::function<std::uint8_t*(int y)>;

// Decodes the whole image, of the size ReadJpegHeader gave, row by row into `rowAt`; greyscale and
// CMYK images become colour rows. False, with libjpeg's message, for data whose rows cannot all be
// decoded (a warning about the image data counts; one about the headers, or after the last row,
// does not) or of another size; libjpeg's working memory is bounded meanwhile.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, const JpegInfo& expected, const RowTarget& rowAt,
                std::string* error);

}  // namespace kavrel::jpeg
