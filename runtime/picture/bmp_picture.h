// Windows bitmap files read into pictures.
#pragma once

#include <memory>
#include <string>

#include "runtime/picture/bitmap.h"

namespace kavrel::picture {

// Reads a .bmp file (any depth, uncompressed, bit fields or run-length encoded; the old
// 12-byte header too) into a picture of its size. A file whose headers claim more than it holds,
// or a size no picture may have, is refused with an Error before the picture is allocated.
std::unique_ptr<DibBitmap> ReadBmpFile(const std::string& path);

}  // namespace kavrel::picture
