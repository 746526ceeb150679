#include "runtime/jpeg/jpeg_decoder.h"

#include <cstdio>
#include <vector>

#include "runtime/jpeg/jpeg_errors.h"

namespace kavrel::jpeg {

namespace {

// libjpeg's working memory is bounded, so that data whose header claims an enormous progressive
// image fails cleanly instead of taking the host's address space.
constexpr long kMaxDecoderMemory = 256L << 20;

// Converts one decoded CMYK row into blue, green, red. Files with an Adobe marker (Photoshop's
// and most others') keep the inks inverted, 255 meaning no ink; files without one keep them as
// they are.
void CmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted) {
    const int flip = inverted ? 0 : 255;
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const int k = cmyk[3] ^ flip;
        bgr[2] = static_cast<std::uint8_t>((cmyk[0] ^ flip) * k / 255);
        bgr[1] = static_cast<std::uint8_t>((cmyk[1] ^ flip) * k / 255);
        bgr[0] = static_cast<std::uint8_t>((cmyk[2] ^ flip) * k / 255);
    }
}

struct Source {
    const std::uint8_t* data;
    std::size_t size;
};

bool ReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* errors, const Source* source, JpegInfo* info) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, source->data, static_cast<unsigned long>(source->size));
    jpeg_read_header(cinfo, TRUE);
    info->width = static_cast<int>(cinfo->image_width);
    info->height = static_cast<int>(cinfo->image_height);
    info->components = cinfo->num_components;
    return true;
}

struct DecodeJob {
    Source source;
    const JpegInfo* expected;
    const RowTarget* rowAt;
    std::uint8_t* cmykRow;  // a row of expected->width × 4 bytes
};

bool Decode(jpeg_decompress_struct* cinfo, ErrorManager* errors, const DecodeJob* job) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(cinfo, job->source.data, static_cast<unsigned long>(job->source.size));
    errors->warningsAreErrors = false;  // the headers: nothing in them damages a row
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    errors->endOfDataHarmless = !jpeg_has_multiple_scans(cinfo);
    // The image data (a progressive file's scans are all read here already): a warning means rows
    // that could not be decoded.
    errors->warningsAreErrors = true;
    jpeg_start_decompress(cinfo);
    // The rows were made for the header's size: nothing else is written into them.
    if (static_cast<int>(cinfo->output_width) != job->expected->width ||
        static_cast<int>(cinfo->output_height) != job->expected->height) {
        std::snprintf(errors->message, sizeof errors->message, "the image is not of the size its header gave");
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        std::uint8_t* row = (*job->rowAt)(static_cast<int>(cinfo->output_scanline));
        JSAMPROW target = cmyk ? job->cmykRow : row;
        jpeg_read_scanlines(cinfo, &target, 1);
        if (cmyk) CmykToBgr(job->cmykRow, row, static_cast<int>(cinfo->output_width), cinfo->saw_Adobe_marker);
    }
    // Every row is decoded: what is missing or odd after them (the end marker, trailing bytes)
    // takes nothing from the picture.
    errors->warningsAreErrors = false;
    jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace

bool ReadJpegHeader(const std::uint8_t* data, std::size_t size, JpegInfo* info, std::string* error) {
    ErrorManager errors{};
    SetUpErrors(errors, false);  // the headers only: their warnings leave the pixels alone
    bool ok = false;
    {
        Decompressor cinfo;
        cinfo.get()->err = &errors.base;
        const Source source{data, size};
        ok = ReadHeader(cinfo.get(), &errors, &source, info);
    }
    if (!ok && error) *error = errors.message;
    return ok;
}

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, const JpegInfo& expected, const RowTarget& rowAt,
                std::string* error) {
    if (expected.width <= 0 || expected.height <= 0) {
        if (error) *error = "the image has no size";
        return false;
    }
    std::vector<std::uint8_t> cmykRow(static_cast<std::size_t>(expected.width) * 4);
    ErrorManager errors{};
    SetUpErrors(errors, true);
    bool ok = false;
    {
        Decompressor cinfo;
        cinfo.get()->err = &errors.base;
        const DecodeJob job{{data, size}, &expected, &rowAt, cmykRow.data()};
        ok = Decode(cinfo.get(), &errors, &job);
    }
    if (!ok && error) *error = errors.message;
    return ok;
}

}  // namespace kavrel::jpeg
