#include "runtime/picture/bmp_picture.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "runtime/error.h"
#include "runtime/file_bytes.h"
#include "runtime/win_handles.h"
#include "twain/dib_layout.h"

namespace kavrel::picture {

namespace {

constexpr LONGLONG kMaxBmpFileBytes = 512LL << 20;
constexpr std::size_t kFileHeader = 14;


// The old 12-byte core header, rewritten as a 40-byte header with a four-byte colour table so
// that one path reads both.
std::vector<std::uint8_t> FromCoreHeader(const std::uint8_t* dib, std::size_t size, std::size_t bitsAt) {
    std::uint16_t width, height, planes, bits;
    std::memcpy(&width, dib + 4, 2);
    std::memcpy(&height, dib + 6, 2);
    std::memcpy(&planes, dib + 8, 2);
    std::memcpy(&bits, dib + 10, 2);
    const std::size_t colours = bits <= 8 ? (std::size_t{1} << bits) : 0;
    if (12 + 3 * colours > size || bitsAt > size) return {};
    std::vector<std::uint8_t> out(40 + 4 * colours);
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = BI_RGB;
    std::memcpy(out.data(), &h, sizeof h);
    for (std::size_t i = 0; i < colours; ++i) std::memcpy(out.data() + 40 + 4 * i, dib + 12 + 3 * i, 3);
    out.insert(out.end(), dib + bitsAt, dib + size);
    return out;
}

}  // namespace

std::unique_ptr<DibBitmap> ReadBmpFile(const std::string& path) {
    const std::vector<std::uint8_t> file = ReadFileBytes(path, kMaxBmpFileBytes);
    const std::string damaged = "Файл " + path + " не является изображением BMP или повреждён";
    if (file.size() < kFileHeader + 12 || file[0] != 'B' || file[1] != 'M') throw Error(damaged);
    std::uint32_t offBits = 0, headerSize = 0;
    std::memcpy(&offBits, file.data() + 10, 4);
    std::memcpy(&headerSize, file.data() + kFileHeader, 4);
    const std::uint8_t* dib = file.data() + kFileHeader;
    const std::size_t dibSize = file.size() - kFileHeader;

    // The pixels begin where the file header says when that is a sane place; files with a wrong
    // offset are common, and then they follow the colour table.
    std::vector<std::uint8_t> packed;
    if (headerSize == twainlib::kCoreHeaderSize) {
        std::uint16_t bits = 0;
        std::memcpy(&bits, dib + 10, 2);
        const std::size_t tableEnd = 12 + 3 * (bits <= 8 ? (std::size_t{1} << bits) : 0);
        const std::size_t bitsAt = offBits >= kFileHeader + tableEnd && offBits < file.size() ? offBits - kFileHeader : tableEnd;
        packed = FromCoreHeader(dib, dibSize, bitsAt);
    } else {
        packed.assign(dib, dib + dibSize);
        const auto layout = twainlib::InspectDib(packed.data(), packed.size());
        if (layout && offBits >= kFileHeader + layout->bitsOffset && offBits - kFileHeader != layout->bitsOffset &&
            offBits - kFileHeader + layout->pixelBytes <= dibSize) {
            // Move the pixels to where a packed DIB keeps them.
            packed.erase(packed.begin() + static_cast<std::ptrdiff_t>(layout->bitsOffset),
                         packed.begin() + static_cast<std::ptrdiff_t>(offBits - kFileHeader));
        }
    }
    const auto layout = twainlib::InspectDib(packed.data(), packed.size());
    if (!layout) throw Error(damaged);
    const int rows = layout->height < 0 ? -layout->height : layout->height;
    auto picture = std::make_unique<DibBitmap>(layout->width, rows);  // refuses absurd sizes

    CreatedDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) throw Error("Недостаточно ресурсов для изображения " + path);
    {
        SelectionGuard selected(dc.get(), picture->Handle());
        const int drawn = ::StretchDIBits(dc.get(), 0, 0, layout->width, rows, 0, 0, layout->width, rows,
                                          packed.data() + layout->bitsOffset,
                                          reinterpret_cast<const BITMAPINFO*>(packed.data()), DIB_RGB_COLORS, SRCCOPY);
        if (drawn == 0 || drawn == static_cast<int>(GDI_ERROR)) throw Error(damaged);
    }
    ::GdiFlush();
    return picture;
}

}  // namespace kavrel::picture
