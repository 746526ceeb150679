#include "runtime/picture/bitmap.h"

#include "base/error.h"

namespace kavrel::picture {

void CheckPictureSize(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) {
        throw Error("Изображение не имеет размера (" + std::to_string(width) + " x " +
                    std::to_string(height) + " точек)");
    }
    if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
        throw Error("Изображение слишком велико (" + std::to_string(width) + " x " +
                    std::to_string(height) + " точек)");
    }
}

DibBitmap::DibBitmap(int width, int height, int bitsPerPixel)
    : width_(width), height_(height), bitsPerPixel_(bitsPerPixel == 24 ? 24 : 32) {
    CheckPictureSize(width, height);
    info_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info_.bmiHeader.biWidth = width;
    info_.bmiHeader.biHeight = -height;  // top-down: row 0 is the top row
    info_.bmiHeader.biPlanes = 1;
    info_.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel_);
    info_.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(nullptr, &info_, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap_ || !bits) {
        throw Error("Недостаточно памяти для изображения " + std::to_string(width) + " x " +
                    std::to_string(height) + " точек");
    }
    bits_ = static_cast<std::uint8_t*>(bits);
}

void DibBitmap::Draw(HDC dc, int x, int y) const {
    ::GdiFlush();
    ::SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(width_), static_cast<DWORD>(height_), 0, 0, 0,
                        static_cast<UINT>(height_), bits_, &info_, DIB_RGB_COLORS);
}

bool DibBitmap::DrawStretched(HDC dc, int x, int y, int width, int height) const {
    ::GdiFlush();
    ::SetStretchBltMode(dc, COLORONCOLOR);
    const int drawn = ::StretchDIBits(dc, x, y, width, height, 0, 0, width_, height_, bits_, &info_,
                                      DIB_RGB_COLORS, SRCCOPY);
    return drawn != 0 && drawn != static_cast<int>(GDI_ERROR);
}

std::unique_ptr<DibBitmap> DibBitmap::Resampled(int width, int height) const {
    auto result = std::make_unique<DibBitmap>(width, height);
    CreatedDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) throw Error("Недостаточно ресурсов для масштабирования изображения");
    {
        SelectionGuard selected(dc.get(), result->Handle());
        if (!DrawStretched(dc.get(), 0, 0, width, height)) {
            throw Error("Недостаточно ресурсов для масштабирования изображения");
        }
    }
    ::GdiFlush();
    return result;
}

}  // namespace kavrel::picture
