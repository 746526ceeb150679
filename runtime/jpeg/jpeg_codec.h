// JPEG compression and decompression with libjpeg. Every libjpeg error becomes a kavrel::Error
// (libjpeg's own handler would end the process, which is the host's process).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "runtime/jpeg/jpeg_decoder.h"
#include "runtime/picture/bitmap.h"

namespace kavrel::jpeg {

// How the rows handed to the encoder hold their pixels.
enum class RowLayout {
    Bgr,   // 3 bytes a pixel: blue, green, red (a 24-bit DIB row)
    Bgrx,  // 4 bytes a pixel: blue, green, red, unused (a 32-bit DIB row)
};

// Row y (0 = top) of the image, `width` pixels in the given layout; valid until the next call.
using RowSupplier = std::function<const std::uint8_t*(int y)>;

// Compresses an image into a new file: baseline, colour (JFIF, YCbCr), the floating-point DCT
// and the given quality, libjpeg's defaults otherwise. The file is created (replacing one of the
// same name) and written completely, or an Error is thrown; a file that was created is then
// left as it is and the caller removes it.
void WriteJpegFile(const std::string& path, int width, int height, RowLayout layout,
                   const RowSupplier& rows, int quality);
// The same into a file the caller has open for writing (and closes); `name` is what the error
// messages call it.
void WriteJpeg(HANDLE file, const std::string& name, int width, int height, RowLayout layout,
               const RowSupplier& rows, int quality);

// Decodes a JPEG file into a new picture (one picture pixel per image pixel). Truncated or
// corrupt data and images larger than a picture may be are refused with an Error before the
// picture is allocated.
std::unique_ptr<picture::DibBitmap> ReadJpegFile(const std::string& path, JpegInfo* info = nullptr);

}  // namespace kavrel::jpeg
