#include "support/dib_builder.h"

#include <cstring>

namespace kavrel::test {

std::vector<std::uint8_t> DibBytes(const DibSpec& spec) {
    std::uint32_t colors = spec.clrUsed;
    if (colors == 0 && spec.bitCount <= 8) colors = 1u << spec.bitCount;
    if (colors > 256) colors = 0;  // a lying biClrUsed gets no table of that size
    const std::size_t rows = static_cast<std::size_t>(spec.height < 0 ? -spec.height : spec.height);
    const std::size_t pixels = RowBytes(spec.width, spec.bitCount) * rows;
    std::vector<std::uint8_t> bytes(spec.headerSize + 4 * colors + pixels, 0);
    BITMAPINFOHEADER h{};
    h.biSize = spec.headerSize;
    h.biWidth = spec.width;
    h.biHeight = spec.height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(spec.bitCount);
    h.biCompression = spec.compression;
    h.biSizeImage = spec.sizeImage;
    h.biXPelsPerMeter = 7874;
    h.biYPelsPerMeter = 7874;
    h.biClrUsed = spec.clrUsed;
    std::memcpy(bytes.data(), &h, sizeof h);
    std::uint8_t* table = bytes.data() + spec.headerSize;
    for (std::uint32_t i = 0; i < colors; ++i) {
        table[4 * i + 0] = static_cast<std::uint8_t>(i);
        table[4 * i + 1] = static_cast<std::uint8_t>(255 - i);
        table[4 * i + 2] = static_cast<std::uint8_t>(i / 2);
    }
    std::uint8_t* bits = table + 4 * colors;
    for (std::size_t i = 0; i < pixels; ++i) {
        bits[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(spec.seed) * 31) & 0xFF);
    }
    return bytes;
}

HGLOBAL BlockOf(const std::vector<std::uint8_t>& bytes, UINT flags) {
    HGLOBAL block = ::GlobalAlloc(flags, bytes.size() ? bytes.size() : 1);
    if (!block) return nullptr;
    void* p = ::GlobalLock(block);
    if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    return block;
}

HGLOBAL MakeDibBlock(const DibSpec& spec, std::size_t extra) {
    auto bytes = DibBytes(spec);
    bytes.resize(bytes.size() + extra, 0);
    return BlockOf(bytes);
}

std::vector<std::uint8_t> BytesOf(HGLOBAL block) {
    std::vector<std::uint8_t> bytes;
    if (!block) return bytes;
    const SIZE_T size = ::GlobalSize(block);
    void* p = ::GlobalLock(block);
    if (!p) return bytes;
    bytes.assign(static_cast<std::uint8_t*>(p), static_cast<std::uint8_t*>(p) + size);
    ::GlobalUnlock(block);
    return bytes;
}

std::vector<std::uint8_t> InfoHeaderBytes(std::uint32_t size, int width, int height, int bits, std::uint32_t compression,
                                          std::uint32_t sizeImage, std::uint32_t colours) {
    std::vector<std::uint8_t> h(size, 0);
    const std::uint16_t planes = 1, bitCount = static_cast<std::uint16_t>(bits);
    std::memcpy(h.data(), &size, 4);
    std::memcpy(h.data() + 4, &width, 4);
    std::memcpy(h.data() + 8, &height, 4);
    std::memcpy(h.data() + 12, &planes, 2);
    std::memcpy(h.data() + 14, &bitCount, 2);
    std::memcpy(h.data() + 16, &compression, 4);
    std::memcpy(h.data() + 20, &sizeImage, 4);
    std::memcpy(h.data() + 32, &colours, 4);
    return h;
}

std::vector<std::uint8_t> BmpFileOf(const std::vector<std::uint8_t>& header, const std::vector<std::uint8_t>& table,
                                    const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> file(14, 0);
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + header.size() + table.size());
    const std::uint32_t size = static_cast<std::uint32_t>(offset + pixels.size());
    file[0] = 'B';
    file[1] = 'M';
    std::memcpy(file.data() + 2, &size, 4);
    std::memcpy(file.data() + 10, &offset, 4);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), table.begin(), table.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

std::vector<std::uint8_t> PaletteBmpFile(int width, int height, int bits, const std::vector<RGBQUAD>& table,
                                         const std::function<int(int x, int y)>& index) {
    const std::size_t stride = RowBytes(width, bits);
    std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels.data() + stride * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const int v = index(x, y);
            if (bits == 8) row[x] = static_cast<std::uint8_t>(v);
            else if (v) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    std::vector<std::uint8_t> tableBytes(4 * table.size());
    std::memcpy(tableBytes.data(), table.data(), tableBytes.size());
    return BmpFileOf(InfoHeaderBytes(40, width, height, bits, BI_RGB, 0, static_cast<std::uint32_t>(table.size())),
                     tableBytes, pixels);
}

}  // namespace kavrel::test
