#include "module/signature_jpeg.h"

#include <algorithm>

#include "base/error.h"
#include "base/replacement_file.h"
#include "base/win_handles.h"
#include "layout/dib_layout.h"
#include "runtime/jpeg/jpeg_codec.h"
#include "runtime/picture/screen_picture.h"
#include "twain/twain.h"

namespace kavrel::script {

int SaveBandRows(int width) {
    const auto rowBytes = static_cast<std::size_t>(layout::DibRowBytes(width, 32));
    const std::size_t fit = rowBytes ? kSaveBandBytes / rowBytes : kSaveBandMaxRows;
    return static_cast<int>(std::clamp<std::size_t>(fit, 1, kSaveBandMaxRows));
}

void SaveDibAsJpeg(HANDLE dib, const std::string& path) {
    {
        // An image whose header claims more than its memory holds would draw as nothing, and
        // an empty picture must not be stored as the client's signature.
        GlobalLockGuard locked(dib);
        if (!locked || !layout::InspectDib(locked.bytes(), locked.size())) {
            throw Error("the scanner delivered an unusable image");
        }
    }
    const int width = TWAIN_DibWidth(dib);
    // A top-down image (negative height) is as tall as its height's magnitude.
    const int height = TWAIN_DibHeight(dib) < 0 ? -TWAIN_DibHeight(dib) : TWAIN_DibHeight(dib);

    // The page goes through one off-screen picture of a band's height, in the screen's format,
    // drawn and read again for every band: the colours pass through the display's format as on
    // the screen, while the memory stays that of one band whatever the size of the page.
    picture::ScreenPicture band(width, std::min(SaveBandRows(width), height));
    int bandTop = 0;
    int bandRows = 0;
    const auto rowOfPage = [&](int y) {
        if (y >= bandTop + bandRows) {
            bandTop = y;
            bandRows = std::min(band.Height(), height - y);
            // The whole page is drawn with its top above the band's picture, so that its rows from
            // bandTop on fall on the picture; GDI (and the library's own fast copy) leave the rest
            // alone. A source rectangle of the band's rows cannot do for every page: for a page
            // stored top-down, StretchDIBits counts a source y from the bottom, but a y of 0 from
            // the top, so a last band that reaches the bottom would be taken from the top.
            TWAIN_DrawDibToDC(band.Dc(), 0, -bandTop, width, height, dib, 0, 0);
            band.Drawn();
        }
        return band.Row(y - bandTop);
    };

    // Written beside the signature on file and moved over it only once complete: a scan that fails
    // while it is encoded or written leaves the file that was there untouched.
    ReplacementFile file(path);
    if (file.TargetRefused()) throw Error("Не удалось записать файл " + path);
    if (!file.Created()) throw Error("Не удалось создать файл в директории для " + path);
    jpeg::WriteJpeg(file.Handle(), path, width, height, band.Layout(), rowOfPage, kSignatureJpegQuality);
    if (!file.Commit()) throw Error("Не удалось записать файл " + path);
}

}  // namespace kavrel::script
