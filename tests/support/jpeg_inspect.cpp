#include "support/jpeg_inspect.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
}

namespace kavrel::test {

namespace {

// The order in which a DQT segment stores the 64 coefficients.
constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

struct Jump {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void Fail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Jump*>(cinfo->err)->jump, 1); }

bool DecodeInto(jpeg_decompress_struct* cinfo, const std::vector<std::uint8_t>* bytes,
                std::vector<std::uint8_t>* pixels, Jump* errors) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, bytes->data(), static_cast<unsigned long>(bytes->size()));
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);
    pixels->resize(static_cast<std::size_t>(cinfo->output_width) * cinfo->output_height * 3);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = pixels->data() + static_cast<std::size_t>(cinfo->output_scanline) * cinfo->output_width * 3;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace

JpegFacts InspectJpeg(const std::vector<std::uint8_t>& b) {
    JpegFacts facts;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return facts;
    std::size_t i = 2;
    while (i + 4 <= b.size()) {
        if (b[i] != 0xFF) return facts;
        const int marker = b[i + 1];
        if (marker == 0xD9 || marker == 0xDA) break;  // end of image, or the scan begins
        const std::size_t length = static_cast<std::size_t>(b[i + 2] << 8 | b[i + 3]);
        const std::size_t body = i + 4;
        if (i + 2 + length > b.size()) return facts;
        if (marker == 0xE0 && length >= 7 && std::string(b.begin() + body, b.begin() + body + 4) == "JFIF") {
            facts.jfif = true;
        } else if (marker == 0xDB) {
            for (std::size_t p = body; p < i + 2 + length;) {
                const bool sixteen = (b[p] >> 4) != 0;
                ++p;
                std::vector<int> table(64);
                for (int k = 0; k < 64; ++k) {
                    table[k] = sixteen ? (b[p] << 8 | b[p + 1]) : b[p];
                    p += sixteen ? 2 : 1;
                }
                facts.quantTables.push_back(table);
            }
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            facts.frameMarker = marker;
            facts.height = b[body + 1] << 8 | b[body + 2];
            facts.width = b[body + 3] << 8 | b[body + 4];
            facts.components = b[body + 5];
        }
        i += 2 + length;
    }
    facts.valid = facts.frameMarker != 0;
    return facts;
}

std::vector<std::vector<int>> LibjpegQuantTables(int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    std::vector<std::vector<int>> tables;
    for (int t = 0; t < 2; ++t) {
        std::vector<int> table(64);
        for (int k = 0; k < 64; ++k) table[k] = cinfo.quant_tbl_ptrs[t]->quantval[kZigzag[k]];
        tables.push_back(table);
    }
    jpeg_destroy_compress(&cinfo);
    return tables;
}

std::vector<std::uint8_t> DecodeJpeg(const std::vector<std::uint8_t>& bytes, int* width, int* height) {
    std::vector<std::uint8_t> pixels;
    jpeg_decompress_struct cinfo{};
    Jump errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = &Fail;
    const bool ok = DecodeInto(&cinfo, &bytes, &pixels, &errors);
    if (ok) {
        *width = static_cast<int>(cinfo.output_width);
        *height = static_cast<int>(cinfo.output_height);
    }
    jpeg_destroy_decompress(&cinfo);
    if (!ok) pixels.clear();
    return pixels;
}

namespace {

std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& pixels, int width, int height, int components,
                                 J_COLOR_SPACE space, int quality, bool adobeMarker, bool progressive = false) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (space == JCS_CMYK) cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = static_cast<std::size_t>(width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + static_cast<std::size_t>(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height, int quality,
                                     bool progressive) {
    return Encode(rgb, width, height, 3, JCS_RGB, quality, false, progressive);
}

std::vector<std::uint8_t> EncodeJpegOf(JpegKind kind, const std::vector<std::uint8_t>& pixels, int width, int height) {
    if (kind == JpegKind::Grey) return Encode(pixels, width, height, 1, JCS_GRAYSCALE, 95, false);
    return Encode(pixels, width, height, 4, JCS_CMYK, 95, kind == JpegKind::CmykAdobe);
}

}  // namespace kavrel::test
