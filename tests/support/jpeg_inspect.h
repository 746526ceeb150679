// Looking into JPEG files the module wrote: their markers, as the file holds them, and their
// pixels, as libjpeg decodes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrel::test {

struct JpegFacts {
    bool valid = false;
    bool jfif = false;            // an APP0 "JFIF" segment
    int frameMarker = 0;          // 0xC0 baseline, 0xC2 progressive, ...
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<std::vector<int>> quantTables;  // in the file's order, 64 values each (zigzag)
};

JpegFacts InspectJpeg(const std::vector<std::uint8_t>& bytes);

// libjpeg's own quantisation tables for a quality (luminance, chrominance), zigzag order.
std::vector<std::vector<int>> LibjpegQuantTables(int quality);

// Decoded pixels, 3 bytes (red, green, blue) a pixel, rows from the top; empty on failure.
std::vector<std::uint8_t> DecodeJpeg(const std::vector<std::uint8_t>& bytes, int* width, int* height);

// A JPEG of these pixels (3 bytes, red, green, blue, a pixel; rows from the top), as libjpeg's
// defaults make it: baseline, or progressive (several scans).
std::vector<std::uint8_t> EncodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height, int quality = 95,
                                     bool progressive = false);

// JPEGs as other programs write them: 1 byte a pixel of grey; or 4 bytes of CMYK stored as given,
// either with an Adobe marker (whose files keep the inks inverted, 255 meaning none) or without.
enum class JpegKind { Grey, CmykAdobe, CmykPlain };
std::vector<std::uint8_t> EncodeJpegOf(JpegKind kind, const std::vector<std::uint8_t>& pixels, int width, int height);

}  // namespace kavrel::test
