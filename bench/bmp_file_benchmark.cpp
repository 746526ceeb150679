// What Kavrel.dll's bitmap file calls cost over plain file calls moving the same bytes. For an A4
// page at 300 dpi in 24-bit colour (a 26 MB DIB) it times, alternating, TWAIN_WriteNativeToFilename
// against CreateFileA/WriteFile/CloseHandle writing the same file header and block, and
// TWAIN_LoadNativeFromFilename against CreateFileA/ReadFile into a GlobalAlloc'd block of the same
// size, and prints the ratios of the medians. The exports are called through the DLL, as callers
// call them. Not a test: it asserts nothing, but a call that fails ends the run.
//   bmp_file_benchmark DIRECTORY
#include <windows.h>

#include "bench/bench_paths.h"
#include "bench/bench_table.h"
#include "bench/bench_timing.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "tools/virtual_scanner/test_pattern.h"

namespace {

using kavrel::bench::Median;
using kavrel::bench::Seconds;

using WriteNativeToFilename = int(WINAPI*)(HANDLE, LPCSTR);
using LoadNativeFromFilename = HANDLE(WINAPI*)(LPCSTR);

constexpr DWORD kFileHeaderSize = 14;

// The file header a bitmap file of this DIB begins with (an uncompressed DIB without colours).
std::vector<std::uint8_t> FileHeaderOf(const BITMAPINFOHEADER& header, SIZE_T dibBytes) {
    std::vector<std::uint8_t> bytes(kFileHeaderSize);
    const std::uint32_t fileSize = static_cast<std::uint32_t>(kFileHeaderSize + dibBytes);
    const std::uint32_t offset = kFileHeaderSize + header.biSize;
    bytes[0] = 'B', bytes[1] = 'M';
    std::memcpy(&bytes[2], &fileSize, 4);
    std::memcpy(&bytes[10], &offset, 4);
    return bytes;
}

bool PlainWrite(const std::string& path, const std::vector<std::uint8_t>& fileHeader, const void* dib, DWORD size) {
    kavrel::KernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!::WriteFile(file.get(), fileHeader.data(), kFileHeaderSize, &written, nullptr) || written != kFileHeaderSize) {
        return false;
    }
    return ::WriteFile(file.get(), dib, size, &written, nullptr) && written == size;
}

HGLOBAL PlainRead(const std::string& path) {
    kavrel::KernelHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    std::uint8_t header[kFileHeaderSize];
    DWORD read = 0;
    if (!::ReadFile(file.get(), header, sizeof header, &read, nullptr) || read != sizeof header) return nullptr;
    const DWORD size = ::GetFileSize(file.get(), nullptr) - kFileHeaderSize;
    kavrel::GlobalBlock block(::GlobalAlloc(GMEM_FIXED, size));
    if (!block) return nullptr;
    if (!::ReadFile(file.get(), block.get(), size, &read, nullptr) || read != size) return nullptr;
    return block.release();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bmp_file_benchmark DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string dll = kavrel::bench::KavrelDllBesideThisProgram();
    kavrel::Module kavrel(::LoadLibraryA(dll.c_str()));
    const auto bind = [&](const char* name) {
        return kavrel ? reinterpret_cast<void*>(::GetProcAddress(kavrel.get(), name)) : nullptr;
    };
    const auto writeNative = reinterpret_cast<WriteNativeToFilename>(bind("TWAIN_WriteNativeToFilename"));
    const auto loadNative = reinterpret_cast<LoadNativeFromFilename>(bind("TWAIN_LoadNativeFromFilename"));
    if (!writeNative || !loadNative) {
        std::fprintf(stderr, "bmp_file_benchmark: cannot bind the exports of %s\n", dll.c_str());
        return 1;
    }

    const int width = 2480, height = 3508;
    kavrel::GlobalBlock page(kavrel::vscan::MakePatternDib(width, height, kavrel::vscan::PixelKind::Colour, 0));
    const SIZE_T dibBytes = ::GlobalSize(page.get());
    auto* dib = static_cast<const BITMAPINFOHEADER*>(::GlobalLock(page.get()));
    const std::vector<std::uint8_t> fileHeader = FileHeaderOf(*dib, dibBytes);
    const std::string libraryFile = dir + "\\library.bmp";
    const std::string plainFile = dir + "\\plain.bmp";

    constexpr int kRounds = 31;  // the writes take milliseconds: many rounds steady their median
    std::vector<double> libraryWrite, plainWrite, libraryRead, plainRead;
    const auto timed = [](std::vector<double>& times, const auto& call) {
        const double start = Seconds();
        auto result = call();
        times.push_back(Seconds() - start);
        return result;
    };
    for (int round = 0; round < kRounds; ++round) {
        ::DeleteFileA(libraryFile.c_str());
        ::DeleteFileA(plainFile.c_str());
        // Which goes first alternates from round to round: the second of a pair meets the
        // system's caches as the first left them.
        const bool libraryFirst = round % 2 == 0;
        int written = -1;  // 0: written
        bool plainWritten = false;
        const auto libraryWriting = [&] { return written = writeNative(page.get(), libraryFile.c_str()); };
        const auto plainWriting = [&] {
            return plainWritten = PlainWrite(plainFile, fileHeader, dib, static_cast<DWORD>(dibBytes));
        };
        if (libraryFirst) {
            timed(libraryWrite, libraryWriting), timed(plainWrite, plainWriting);
        } else {
            timed(plainWrite, plainWriting), timed(libraryWrite, libraryWriting);
        }
        kavrel::GlobalBlock loaded, plainLoaded;
        const auto libraryLoading = [&] { loaded.reset(loadNative(libraryFile.c_str())); return 0; };
        const auto plainLoading = [&] { plainLoaded.reset(PlainRead(plainFile)); return 0; };
        if (libraryFirst) {
            timed(libraryRead, libraryLoading), timed(plainRead, plainLoading);
        } else {
            timed(plainRead, plainLoading), timed(libraryRead, libraryLoading);
        }
        if (written != 0 || !plainWritten || !loaded || !plainLoaded) {
            std::fprintf(stderr, "bmp_file_benchmark: a call failed (write %d, plain write %d, load %d, plain read %d)\n",
                         written, plainWritten, static_cast<bool>(loaded), static_cast<bool>(plainLoaded));
            return 1;
        }
    }
    ::GlobalUnlock(page.get());
    ::DeleteFileA(libraryFile.c_str());
    ::DeleteFileA(plainFile.c_str());

    const double lw = Median(libraryWrite), pw = Median(plainWrite), lr = Median(libraryRead), pr = Median(plainRead);
    std::printf("bitmap files of an A4 page, 300 dpi, 24-bit (%d x %d, %.1f MB) against plain file calls, medians of %d:\n",
                width, height, dibBytes / 1048576.0, kRounds);
    std::printf("  TWAIN_WriteNativeToFilename %8.1f ms   CreateFileA/WriteFile %8.1f ms   ratio %.3f\n", lw * 1000,
                pw * 1000, lw / pw);
    std::printf("  TWAIN_LoadNativeFromFilename %7.1f ms   CreateFileA/ReadFile  %8.1f ms   ratio %.3f\n", lr * 1000,
                pr * 1000, lr / pr);
    std::fflush(stdout);
    kavrel::bench::TimeRow("TWAIN_WriteNativeToFilename, A4 24-bit page", lw, pw, 1.2);
    kavrel::bench::TimeRow("TWAIN_LoadNativeFromFilename, A4 24-bit page", lr, pr, 1.2);
    return 0;
}
