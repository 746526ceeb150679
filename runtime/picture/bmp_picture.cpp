#include "runtime/picture/bmp_picture.h"

#include <windows.h>

#include <vector>

#include "base/error.h"
#include "base/file_bytes.h"
#include "base/win_handles.h"
#include "layout/bmp_layout.h"
#include "layout/dib_layout.h"

namespace kavrel::picture {

namespace {
constexpr long long kMaxBmpFileBytes = 512LL << 20;
}  // namespace

std::unique_ptr<DibBitmap> ReadBmpFile(const std::string& path) {
    const std::vector<std::uint8_t> file = ReadFileBytes(path, kMaxBmpFileBytes);
    const auto packed = layout::PackedDibFromBmpFile(file.data(), file.size());
    const auto dib = packed ? layout::InspectDib(packed->data(), packed->size()) : std::nullopt;
    const std::string damaged = "Файл " + path + " не является изображением BMP или повреждён";
    if (!dib) throw Error(damaged);
    const int rows = dib->height < 0 ? -dib->height : dib->height;
    auto picture = std::make_unique<DibBitmap>(dib->width, rows);  // refuses absurd sizes

    CreatedDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) throw Error("Недостаточно ресурсов для изображения " + path);
    {
        SelectionGuard selected(dc.get(), picture->Handle());
        const int drawn = ::StretchDIBits(dc.get(), 0, 0, dib->width, rows, 0, 0, dib->width, rows,
                                          packed->data() + dib->bitsOffset,
                                          reinterpret_cast<const BITMAPINFO*>(packed->data()), DIB_RGB_COLORS, SRCCOPY);
        if (drawn == 0 || drawn == static_cast<int>(GDI_ERROR)) throw Error(damaged);
    }
    ::GdiFlush();
    return picture;
}

}  // namespace kavrel::picture
