// kvrscan: scans one image with a TWAIN scanner the operator chooses and stores it as a JPEG
// file, directory\fileName.jpg.
#include <windows.h>

#include <string>

#include "module/host_interface.h"
#include "module/script_functions.h"
#include "module/signature_files.h"
#include "runtime/error.h"
#include "runtime/picture/screen_picture.h"
#include "runtime/win_handles.h"
#include "twain/dib_layout.h"
#include "twain/twain.h"

namespace kavrel::script {

namespace {

enum ScanResult {
    kSaved = 0,
    kScanFailed = 1,
    kNoSourceChosen = 2,
    kNoDirectory = 3,
    kNoSourceManager = 4,
};

constexpr int kJpegQuality = 90;

// Frees the DIBs an acquisition delivered, whatever happens to the scan afterwards.
class AcquiredImages {
public:
    AcquiredImages() = default;
    AcquiredImages(const AcquiredImages&) = delete;
    AcquiredImages& operator=(const AcquiredImages&) = delete;
    ~AcquiredImages() {
        // Only the first image is used; those after it from a feeder are released too, so that
        // a long working day of scans does not leave them allocated in the host.
        const int count = TWAIN_GetNumDibs();
        for (int i = 0; i < count; ++i) TWAIN_FreeNative(TWAIN_GetDib(i));
    }
};

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

// Steps 5.1 to 5.8: acquire, draw the first image off screen, encode it and store it.
void AcquireAndSave(const std::string& path) {
    TWAIN_AcquireNative(nullptr, 0);
    AcquiredImages images;
    if (TWAIN_GetNumDibs() == 0) throw Error("no image arrived");
    HANDLE dib = TWAIN_GetDib(0);
    {
        // An image whose header claims more than its memory holds would draw as nothing, and
        // an empty picture must not be stored as the client's signature.
        GlobalLockGuard locked(dib);
        if (!locked || !twainlib::InspectDib(locked.bytes(), locked.size())) {
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
                        [&](int y) { return offscreen.Row(y); }, kJpegQuality);
    file.Commit();
}

}  // namespace

void __cdecl kvrscan() {
    std::string directory;
    std::string fileName;
    try {
        // Both arguments are read before anything is examined.
        directory = host::GetParamText(0);
        fileName = host::GetParamText(1);
    } catch (...) {
        host::SetParamInt(2, kScanFailed);
        return;
    }
    int result = kSaved;
    try {
        if (!TWAIN_IsAvailable()) {
            host::ReportMessage("В системе отсутствует TWAIN-устройство");
            result = kNoSourceManager;
        } else if (!DirectoryExists(directory)) {
            host::ReportMessage("Отсутствует директория для сохранения");
            result = kNoDirectory;
        } else if (!TWAIN_SelectImageSource(nullptr)) {
            host::ReportMessage("TWAIN-устройство не выбрано");
            result = kNoSourceChosen;
        } else {
            try {
                AcquireAndSave(directory + "\\" + fileName + ".jpg");
            } catch (...) {
                host::ReportMessage("TWAIN-устройство не подключено");
                result = kScanFailed;
            }
        }
    } catch (...) {
        // Only running out of memory in the tests above can get here.
        result = kScanFailed;
    }
    host::SetParamInt(2, result);
}

}  // namespace kavrel::script
