#include "module/signature_jpeg.h"

#include <algorithm>
#include <optional>

#include "base/error.h"
#include "base/replacement_file.h"
#include "base/win_handles.h"
#include "layout/dib_layout.h"
#include "runtime/jpeg/jpeg_codec.h"
#include "runtime/picture/screen_picture.h"
#include "twain/twain.h"

namespace kavrel::script {

namespace {

// Adds the time from its making to its end to a share of the split, when a split is asked for.
class SplitTimer {
public:
    explicit SplitTimer(double* share) : share_(share) {
        if (share_) ::QueryPerformanceCounter(&start_);
    }
    SplitTimer(const SplitTimer&) = delete;
    SplitTimer& operator=(const SplitTimer&) = delete;
    ~SplitTimer() {
        if (!share_) return;
        LARGE_INTEGER end, frequency;
        ::QueryPerformanceCounter(&end);
        ::QueryPerformanceFrequency(&frequency);
        *share_ += static_cast<double>(end.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

private:
    double* share_;
    LARGE_INTEGER start_{};
};

double* Share(SaveSplit* split, double SaveSplit::*member) { return split ? &(split->*member) : nullptr; }

// The page's own rows, when drawing it one to one into the screen's format could only copy them:
// a 24- or 32-bit BI_RGB page (its fourth byte is never looked at) on a screen that keeps 8 bits a
// colour in the same places. Drawing anything else changes its pixels (a colour table, 16-bit
// colours widened) or is best left to GDI (bit-field masks).
struct DirectRows {
    const std::uint8_t* bits;
    std::size_t stride;
    bool topDown;
    jpeg::RowLayout layout;
};

std::optional<DirectRows> DirectRowsOf(const layout::DibLayout& page, const std::uint8_t* block) {
    if (page.compression != BI_RGB || (page.bitCount != 24 && page.bitCount != 32)) return std::nullopt;
    if (!picture::ScreenIsPlainTrueColour()) return std::nullopt;
    return DirectRows{block + page.bitsOffset, static_cast<std::size_t>(layout::DibRowBytes(page.width, page.bitCount)),
                      page.height < 0, page.bitCount == 24 ? jpeg::RowLayout::Bgr : jpeg::RowLayout::Bgrx};
}

}  // namespace

int SaveBandRows(int width) {
    const auto rowBytes = static_cast<std::size_t>(layout::DibRowBytes(width, 32));
    const std::size_t fit = rowBytes ? kSaveBandBytes / rowBytes : kSaveBandMaxRows;
    return static_cast<int>(std::clamp<std::size_t>(fit, 1, kSaveBandMaxRows));
}

void SaveDibAsJpeg(HANDLE dib, const std::string& path, SaveRoute route, SaveSplit* split) {
    if (split) *split = SaveSplit{};
    // Held for the whole save: the direct road reads the rows in place.
    GlobalLockGuard locked(dib);
    std::optional<layout::DibLayout> page;
    std::optional<DirectRows> direct;
    {
        SplitTimer timer(Share(split, &SaveSplit::checking));
        // An image whose header claims more than its memory holds would draw as nothing, and an
        // empty picture must not be stored as the client's signature.
        if (locked) page = layout::InspectDib(locked.bytes(), locked.size());
        if (!page) throw Error("the scanner delivered an unusable image");
        if (route == SaveRoute::Fastest) direct = DirectRowsOf(*page, locked.bytes());
    }
    const int width = page->width;
    // A top-down image (negative height) is as tall as its height's magnitude.
    const int height = page->height < 0 ? -page->height : page->height;

    // Otherwise the page goes through one off-screen picture of a band's height, in the screen's
    // format, drawn and read again for every band: the colours pass through the display's format
    // as on the screen, while the memory stays that of one band whatever the size of the page.
    std::optional<picture::ScreenPicture> band;
    if (!direct) {
        SplitTimer timer(Share(split, &SaveSplit::picture));
        band.emplace(width, std::min(SaveBandRows(width), height));
    }
    int bandTop = 0;
    int bandRows = 0;
    const auto rowOfPage = [&](int y) -> const std::uint8_t* {
        if (direct) {
            const int stored = direct->topDown ? y : height - 1 - y;
            return direct->bits + direct->stride * static_cast<std::size_t>(stored);
        }
        if (y >= bandTop + bandRows) {
            SplitTimer timer(Share(split, &SaveSplit::drawing));
            bandTop = y;
            bandRows = std::min(band->Height(), height - y);
            // The whole page is drawn with its top above the band's picture, so that its rows from
            // bandTop on fall on the picture; GDI (and the library's own fast copy) leave the rest
            // alone. A source rectangle of the band's rows cannot do for every page: for a page
            // stored top-down, StretchDIBits counts a source y from the bottom, but a y of 0 from
            // the top, so a last band that reaches the bottom would be taken from the top.
            TWAIN_DrawDibToDC(band->Dc(), 0, -bandTop, width, height, dib, 0, 0);
            band->Drawn();
            if (split) ++split->bands;
        }
        SplitTimer timer(Share(split, &SaveSplit::reading));
        return band->Row(y - bandTop);
    };

    // Written beside the signature on file and moved over it only once complete: a scan that fails
    // while it is encoded or written leaves the file that was there untouched.
    std::optional<ReplacementFile> file;
    {
        SplitTimer timer(Share(split, &SaveSplit::opening));
        file.emplace(path);
    }
    if (file->TargetRefused()) throw Error("Не удалось записать файл " + path);
    if (!file->Created()) throw Error("Не удалось создать файл в директории для " + path);
    {
        SplitTimer timer(Share(split, &SaveSplit::encoding));
        jpeg::WriteJpeg(file->Handle(), path, width, height, direct ? direct->layout : band->Layout(), rowOfPage,
                        kSignatureJpegQuality);
    }
    if (split) {
        split->direct = direct.has_value();
        split->encoding -= split->drawing + split->reading;
    }
    SplitTimer timer(Share(split, &SaveSplit::committing));
    if (!file->Commit()) throw Error("Не удалось записать файл " + path);
}

}  // namespace kavrel::script
