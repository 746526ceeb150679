// Storing a scanned DIB as a client's signature: drawn into an off-screen picture in the
// screen's format, encoded as JPEG (quality 90) and written over the file of that name.
#pragma once

#include <windows.h>

#include <string>

namespace kavrel::script {

constexpr int kSignatureJpegQuality = 90;

// Throws kavrel::Error when the DIB is unusable or the file cannot be written; the file that
// was there before is then untouched.
void SaveDibAsJpeg(HANDLE dib, const std::string& path);

}  // namespace kavrel::script
