// A plain libjpeg encode into a file, as the benchmarks use it.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

extern "C" {
#include <jpeglib.h>
}

namespace kavrel::bench {

// Encodes `height` rows of 3-byte pixels in `colourSpace`; `row(y)` gives row y from the top.
inline void EncodeJpegFile(const std::string& path, int width, int height, J_COLOR_SPACE colourSpace,
                           int quality, bool floatDct, const std::function<JSAMPROW(int y)>& row) {
    FILE* out = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = colourSpace;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (floatDct) cinfo.dct_method = JDCT_FLOAT;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row(static_cast<int>(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

}  // namespace kavrel::bench
