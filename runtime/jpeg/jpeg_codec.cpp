#include "runtime/jpeg/jpeg_codec.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "base/error.h"
#include "base/file_bytes.h"
#include "base/win_handles.h"
#include "runtime/jpeg/jpeg_errors.h"

extern "C" {
#include <jerror.h>
}

namespace kavrel::jpeg {

namespace {

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

constexpr long long kMaxJpegFileBytes = 256LL << 20;

}  // namespace

void WriteJpeg(HANDLE file, const std::string& name, int width, int height, RowLayout layout,
               const RowSupplier& rows, int quality) {
    picture::CheckPictureSize(width, height);
    // Left uninitialised: libjpeg writes every byte it hands on. Zeroing it would touch all of its
    // pages on every save, where a signature's file fills less than half of them.
    const auto buffer = std::make_unique_for_overwrite<JOCTET[]>(kOutputBuffer);
    FileDestination destination{};
    destination.base.init_destination = &InitDestination;
    destination.base.empty_output_buffer = &EmptyOutputBuffer;
    destination.base.term_destination = &TermDestination;
    destination.file = file;
    destination.buffer = buffer.get();

    ErrorManager errors{};
    SetUpErrors(errors, false);
    bool encoded = false;
    {
        Compressor cinfo;
        cinfo.get()->err = &errors.base;
        const EncodeJob job{width, height, layout, quality, &rows, &destination};
        encoded = Encode(cinfo.get(), &errors, &job);
    }
    if (!encoded) throw Error("Не удалось записать JPEG-файл " + name + ": " + errors.message);
}

void WriteJpegFile(const std::string& path, int width, int height, RowLayout layout,
                   const RowSupplier& rows, int quality) {
    picture::CheckPictureSize(width, height);
    KernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw Error("Не удалось создать файл " + path);
    WriteJpeg(file.get(), path, width, height, layout, rows, quality);
    if (!::CloseHandle(file.release())) throw Error("Не удалось записать файл " + path);
}

std::unique_ptr<picture::DibBitmap> ReadJpegFile(const std::string& path, JpegInfo* info) {
    const std::vector<std::uint8_t> data = ReadFileBytes(path, kMaxJpegFileBytes);
    if (data.empty()) throw Error("Файл " + path + " пуст");

    // First the header alone, to learn the size and refuse what cannot be a picture before
    // anything is allocated for it; then the whole image into a picture of that size.
    JpegInfo header;
    std::string error;
    if (!ReadJpegHeader(data.data(), data.size(), &header, &error)) {
        throw Error("Файл " + path + " не является изображением JPEG: " + error);
    }
    // A photograph is kept as it decodes, 24 bits a pixel.
    auto picture = std::make_unique<picture::DibBitmap>(header.width, header.height, 24);
    if (!DecodeJpeg(data.data(), data.size(), header, [&](int y) { return picture->Row(y); }, &error)) {
        throw Error("Файл " + path + " повреждён: " + error);
    }
    if (info) *info = header;
    return picture;
}

}  // namespace kavrel::jpeg
