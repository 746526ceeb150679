// libjpeg's errors as this code handles them, for both directions. Plain C++.
//
// libjpeg reports errors by calling error_exit, which must not return (its own one ends the
// process, which is the host's). Here it jumps back to the setjmp of the one function that drives
// libjpeg; that function keeps no C++ objects with destructors of its own, so nothing is skipped
// by the jump, and it answers false with libjpeg's message.
#pragma once

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

namespace kavrel::jpeg {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // While set, a warning fails like an error. A decoder sets it for the image data only: a
    // warning there means rows that could not be decoded (a truncated file, a corrupt scan), and
    // such an image is refused rather than shown with grey or garbled parts. Warnings about the
    // headers (an unknown JFIF revision) or after the last row (a missing end marker) leave every
    // row intact, and files from other programs and cameras often carry them.
    bool warningsAreErrors;
    // Whether the data running out before the end marker may be harmless: in an image of one scan
    // (a baseline file as cameras write it) the entropy decoder reads a few bytes beyond what it
    // needs, and a file without its end marker runs out there while every row is intact; data a
    // row really needed and did not get is reported on its own (premature end of data segment).
    // In an image of several scans (progressive, or one scan per component) the data running out
    // means scans are missing, and nothing else is said: it is damage.
    bool endOfDataHarmless;
};

// Sets up `errors`, with warnings failing as errors or not (see ErrorManager); trace messages are
// dropped either way.
void SetUpErrors(ErrorManager& errors, bool warningsAreErrors);

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

inline void DestroyCompressor(jpeg_compress_struct* cinfo) { jpeg_destroy_compress(cinfo); }
inline void DestroyDecompressor(jpeg_decompress_struct* cinfo) { jpeg_destroy_decompress(cinfo); }
using Compressor = LibjpegObject<jpeg_compress_struct, &DestroyCompressor>;
using Decompressor = LibjpegObject<jpeg_decompress_struct, &DestroyDecompressor>;

}  // namespace kavrel::jpeg
