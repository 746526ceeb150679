// Storing a scanned DIB as a client's signature: drawn band by band into an off-screen picture in
// the screen's format, encoded as JPEG (quality 90) and written over the file of that name.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace kavrel::script {

constexpr int kSignatureJpegQuality = 90;

// The band an A4 page at 600 dpi goes through: at most 1 MB in the screen's 32-bit format and at
// most 64 rows (four of libjpeg's 16-row blocks; more brings no speed), at least one row. An A4
// page at 300 dpi (2480 wide) goes through 64 rows at a time, at 600 dpi (4960) 52.
constexpr std::size_t kSaveBandBytes = 1u << 20;
constexpr std::size_t kSaveBandMaxRows = 64;

// The rows of a band for a page `width` pixels wide.
int SaveBandRows(int width);

// Throws kavrel::Error when the DIB is unusable or the file cannot be written; the file that
// was there before is then untouched.
void SaveDibAsJpeg(HANDLE dib, const std::string& path);

}  // namespace kavrel::script
