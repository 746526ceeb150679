// Storing a scanned DIB as a client's signature: encoded as JPEG (quality 90) and written over the
// file of that name. The colours are those the page has on the screen: the page is drawn band by
// band into an off-screen picture in the screen's format and read back, except where that drawing
// could only copy the pixels (a 24- or 32-bit page on a true-colour screen), which are then
// encoded straight from the DIB.
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

// How the page goes to the encoder.
enum class SaveRoute {
    Fastest,        // straight from the DIB wherever the drawing could only copy its pixels
    ThroughScreen,  // always drawn through the screen's format, band by band
};

// Where one save spent its time, in seconds, for the benchmark. The drawing and the reading happen
// while the encoder asks for rows; `encoding` is the encoder's own share, its file writes included.
struct SaveSplit {
    bool direct = false;  // the rows came straight from the DIB
    int bands = 0;        // bands drawn
    double checking = 0;  // the DIB inspected and the screen's format asked
    double picture = 0;   // the band's off-screen picture made
    double drawing = 0;
    double reading = 0;   // rows read out of the picture (converted where the screen needs it)
    double encoding = 0;
    double opening = 0;     // the target checked and the replacement file made beside it
    double committing = 0;  // the replacement closed and put in the target's place
};

// Throws kavrel::Error when the DIB is unusable or the file cannot be written; the file that
// was there before is then untouched. `split`, when given, is filled in.
void SaveDibAsJpeg(HANDLE dib, const std::string& path, SaveRoute route = SaveRoute::Fastest,
                   SaveSplit* split = nullptr);

}  // namespace kavrel::script
