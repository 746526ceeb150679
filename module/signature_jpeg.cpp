#include "module/signature_jpeg.h"

#include "base/error.h"
#include "runtime/jpeg/jpeg_codec.h"
#include "runtime/picture/screen_picture.h"
#include "base/win_handles.h"
#include "layout/dib_layout.h"
#include "twain/twain.h"

namespace kavrel::script {

namespace {

// A new file written beside the file it replaces, moved over it only once it is complete: a
// scan that fails while it is encoded or written leaves the signature on file untouched and no
// partial file behind.
class ReplacementFile {
public:
    explicit ReplacementFile(const std::string& target) : target_(target) {
        const std::string directory = DirectoryOf(target);
        char temporary[MAX_PATH + 16] = {};
        if (directory.size() + 14 >= MAX_PATH ||
            !::GetTempFileNameA(directory.empty() ? "." : directory.c_str(), "kvr", 0, temporary)) {
            throw Error("Не удалось создать файл в директории " + directory);
        }
        temporary_ = temporary;
    }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    ~ReplacementFile() {
        if (!temporary_.empty()) ::DeleteFileA(temporary_.c_str());
    }
    const std::string& Path() const { return temporary_; }

    void Commit() {
        if (!::MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            throw Error("Не удалось записать файл " + target_);
        }
        temporary_.clear();
    }

private:
    static std::string DirectoryOf(const std::string& path) {
        const auto slash = path.find_last_of("\\/");
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }
    std::string target_;
    std::string temporary_;
};

}  // namespace

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
    picture::ScreenPicture offscreen(width, height);
    TWAIN_DrawDibToDC(offscreen.Dc(), 0, 0, width, height, dib, 0, 0);

    ReplacementFile file(path);
    jpeg::WriteJpegFile(file.Path(), width, height, offscreen.Layout(),
                        [&](int y) { return offscreen.Row(y); }, kSignatureJpegQuality);
    file.Commit();
}

}  // namespace kavrel::script
