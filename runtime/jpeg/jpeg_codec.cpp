#include "runtime/jpeg/jpeg_codec.h"

#include <windows.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "base/file_bytes.h"
#include "base/win_handles.h"

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

namespace kavrel::jpeg {

namespace {

// libjpeg reports errors by calling error_exit, which must not return. It jumps back to the
// setjmp of the one function that drives libjpeg; that function keeps no C++ objects with
// destructors of its own, so nothing is skipped by the jump.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool warningsAreErrors;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    errors->base.format_message(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    // A warning while decoding means damaged data (a truncated file, a corrupt scan): such an
    // image is refused rather than shown with grey or garbled parts. Trace messages are dropped.
    if (level < 0 && errors->warningsAreErrors) OnError(cinfo);
}

void SetUpErrors(ErrorManager& errors, bool warningsAreErrors) {
    jpeg_std_error(&errors.base);
    errors.base.error_exit = &OnError;
    errors.base.emit_message = &OnMessage;
    errors.message[0] = '\0';
    errors.warningsAreErrors = warningsAreErrors;
}

// --- the destination: a Windows file behind a large buffer -----------------------------------------

constexpr std::size_t kOutputBuffer = 1 << 18;

struct FileDestination {
    jpeg_destination_mgr base;
    HANDLE file;
    JOCTET* buffer;
};

void InitDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<FileDestination*>(cinfo->dest);
    d->base.next_output_byte = d->buffer;
    d->base.free_in_buffer = kOutputBuffer;
}

void WriteOut(j_compress_ptr cinfo, std::size_t bytes) {
    auto* d = reinterpret_cast<FileDestination*>(cinfo->dest);
    DWORD written = 0;
    if (bytes && (!::WriteFile(d->file, d->buffer, static_cast<DWORD>(bytes), &written, nullptr) ||
                  written != bytes)) {
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    WriteOut(cinfo, kOutputBuffer);
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<FileDestination*>(cinfo->dest);
    WriteOut(cinfo, kOutputBuffer - d->base.free_in_buffer);
}

// Destroys a libjpeg compressor or decompressor when it goes out of scope, also when a row
// supplier throws in the middle of a job (safe even when creating it failed).
template <class Struct, void (*Destroy)(Struct*)>
class LibjpegObject {
public:
    LibjpegObject() = default;
    LibjpegObject(const LibjpegObject&) = delete;
    LibjpegObject& operator=(const LibjpegObject&) = delete;
    ~LibjpegObject() { Destroy(&object_); }
    Struct* get() { return &object_; }

private:
    Struct object_{};
};

void DestroyCompressor(jpeg_compress_struct* cinfo) { jpeg_destroy_compress(cinfo); }
void DestroyDecompressor(jpeg_decompress_struct* cinfo) { jpeg_destroy_decompress(cinfo); }
using Compressor = LibjpegObject<jpeg_compress_struct, &DestroyCompressor>;
using Decompressor = LibjpegObject<jpeg_decompress_struct, &DestroyDecompressor>;

struct EncodeJob {
    int width;
    int height;
    RowLayout layout;
    int quality;
    const RowSupplier* rows;
    FileDestination* destination;
};

// Drives the compressor; false (with the message in `errors`) when libjpeg failed.
bool Encode(jpeg_compress_struct* cinfo, ErrorManager* errors, const EncodeJob* job) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_compress(cinfo);
    cinfo->dest = &job->destination->base;
    cinfo->image_width = static_cast<JDIMENSION>(job->width);
    cinfo->image_height = static_cast<JDIMENSION>(job->height);
    cinfo->input_components = job->layout == RowLayout::Bgr ? 3 : 4;
    cinfo->in_color_space = job->layout == RowLayout::Bgr ? JCS_EXT_BGR : JCS_EXT_BGRX;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->quality, TRUE);
    cinfo->dct_method = JDCT_FLOAT;
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>((*job->rows)(static_cast<int>(cinfo->next_scanline)));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

// --- decoding ---------------------------------------------------------------------------------------

// libjpeg's working memory is bounded, so that a file whose header claims an enormous
// progressive image fails cleanly instead of taking the host's address space.
constexpr long kMaxDecoderMemory = 256L << 20;
constexpr LONGLONG kMaxJpegFileBytes = 256LL << 20;

struct DecodeJob {
    const std::vector<std::uint8_t>* data;
    picture::DibBitmap* picture;  // made to the size the header gave
};

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

// Reads the header alone: the size and the number of components.
bool ReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* errors,
                const std::vector<std::uint8_t>* data, JpegInfo* info) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data->data(), static_cast<unsigned long>(data->size()));
    jpeg_read_header(cinfo, TRUE);
    info->width = static_cast<int>(cinfo->image_width);
    info->height = static_cast<int>(cinfo->image_height);
    info->components = cinfo->num_components;
    return true;
}

bool Decode(jpeg_decompress_struct* cinfo, ErrorManager* errors, const DecodeJob* job,
            std::uint8_t* cmykRow) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(cinfo, job->data->data(), static_cast<unsigned long>(job->data->size()));
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(cinfo);
    while (cinfo->output_scanline < cinfo->output_height) {
        // Rows are decoded straight into the picture.
        std::uint8_t* row = job->picture->Row(static_cast<int>(cinfo->output_scanline));
        JSAMPROW target = cmyk ? cmykRow : row;
        jpeg_read_scanlines(cinfo, &target, 1);
        if (cmyk) CmykToBgr(cmykRow, row, static_cast<int>(cinfo->output_width), cinfo->saw_Adobe_marker);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}


}  // namespace

void WriteJpegFile(const std::string& path, int width, int height, RowLayout layout,
                   const RowSupplier& rows, int quality) {
    picture::CheckPictureSize(width, height);
    KernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw Error("Не удалось создать файл " + path);
    std::vector<JOCTET> buffer(kOutputBuffer);
    FileDestination destination{};
    destination.base.init_destination = &InitDestination;
    destination.base.empty_output_buffer = &EmptyOutputBuffer;
    destination.base.term_destination = &TermDestination;
    destination.file = file.get();
    destination.buffer = buffer.data();

    ErrorManager errors{};
    SetUpErrors(errors, false);
    bool encoded = false;
    {
        Compressor cinfo;
        cinfo.get()->err = &errors.base;
        const EncodeJob job{width, height, layout, quality, &rows, &destination};
        encoded = Encode(cinfo.get(), &errors, &job);
    }
    if (!encoded) throw Error("Не удалось записать JPEG-файл " + path + ": " + errors.message);
    if (!::CloseHandle(file.release())) throw Error("Не удалось записать файл " + path);
}

std::unique_ptr<picture::DibBitmap> ReadJpegFile(const std::string& path, JpegInfo* info) {
    const std::vector<std::uint8_t> data = ReadFileBytes(path, kMaxJpegFileBytes);
    if (data.empty()) throw Error("Файл " + path + " пуст");

    // First the header alone, to learn the size and refuse what cannot be a picture before
    // anything is allocated for it; then the whole image into a picture of that size.
    JpegInfo header;
    {
        ErrorManager errors{};
        SetUpErrors(errors, true);
        bool ok = false;
        {
            Decompressor cinfo;
            cinfo.get()->err = &errors.base;
            ok = ReadHeader(cinfo.get(), &errors, &data, &header);
        }
        if (!ok) throw Error("Файл " + path + " не является изображением JPEG: " + errors.message);
    }
    // A photograph is kept as it decodes, 24 bits a pixel.
    auto picture = std::make_unique<picture::DibBitmap>(header.width, header.height, 24);

    std::vector<std::uint8_t> cmykRow(static_cast<std::size_t>(header.width) * 4);
    ErrorManager errors{};
    SetUpErrors(errors, true);
    bool ok = false;
    {
        Decompressor cinfo;
        cinfo.get()->err = &errors.base;
        const DecodeJob job{&data, picture.get()};
        ok = Decode(cinfo.get(), &errors, &job, cmykRow.data());
    }
    if (!ok) throw Error("Файл " + path + " повреждён: " + errors.message);
    if (info) *info = header;
    return picture;
}

}  // namespace kavrel::jpeg
