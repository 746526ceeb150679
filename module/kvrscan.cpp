// kvrscan: scans one image with a TWAIN scanner the operator chooses and stores it as a JPEG
// file, directory\fileName.jpg.
#include <windows.h>

#include <string>

#include "base/no_throw.h"
#include "base/operator_messages.h"
#include "host/host_interface.h"
#include "module/script_functions.h"
#include "host/signature_files.h"
#include "host/signature_rule.h"
#include "module/signature_jpeg.h"
#include "base/error.h"
#include "base/replacement_file.h"
#include "twain/acquisition_settings.h"
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

// Frees the DIBs an acquisition delivered, whatever happens to the scan afterwards.
class AcquiredImages {
public:
    AcquiredImages() = default;
    AcquiredImages(const AcquiredImages&) = delete;
    AcquiredImages& operator=(const AcquiredImages&) = delete;
    ~AcquiredImages() {
        // Only the first image is used; those after it from a feeder are released too, so that
        // a long working day of scans does not leave them allocated in the host. The list is
        // emptied with them: it must not offer freed blocks to anyone who reads it later in the
        // process (another program's call, a second scan from a host window).
        const int count = TWAIN_GetNumDibs();
        for (int i = 0; i < count; ++i) TWAIN_FreeNative(TWAIN_GetDib(i));
        TWAIN_ClearDibList();
    }
};

// Where the signature goes: joined by the rule the directory is listed by (host/signature_rule.h),
// so that the file goes where kvrprov and the viewer look for it: "Z:" is Z:'s current directory,
// not its root.
std::string SignaturePath(const std::string& directory, const std::string& fileName) {
    return JoinPath(directory, fileName + ".jpg");
}

// Whether the signature can be stored under this name, asked before the operator scans in vain: a
// name Windows can make in the directory (no path separator or drive colon, which would put it
// somewhere else, "..\\other", "C:\\x", or into a stream of another file, "name:stream"; none of
// the characters Windows refuses; no device name), and a path the save road can write.
bool CanBeStored(const std::string& directory, const std::string& fileName) {
    return IsStorableFileName(fileName + ".jpg") && ReplacementFile::TargetFits(SignaturePath(directory, fileName));
}

// Acquires, then stores the first image that arrived.
void AcquireAndSave(const std::string& path) {
    {
        // One signature is kept: the source is asked for one page, and one that ignores the
        // count (Wine's SANE bridge) is stopped after it rather than scanning on.
        const kavrel::twainlib::ScopedAcquireTransfersWanted onePage(1);
        TWAIN_AcquireNative(nullptr, 0);
    }
    AcquiredImages images;
    if (TWAIN_GetNumDibs() == 0) throw Error("no image arrived");
    SaveDibAsJpeg(TWAIN_GetDib(0), path);
}

}  // namespace

void __cdecl kvrscan() {
    // The host must never see an error, whatever happens below.
    NoThrowVoid([] {
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
                host::ReportMessage(kNoTwainDeviceMessage.text);
                result = kNoSourceManager;
            } else if (!DirectoryExists(directory)) {
                host::ReportMessage(kNoScanDirectoryMessage.text);
                result = kNoDirectory;
            } else if (!CanBeStored(directory, fileName)) {
                // Still a failure of the save (code 1), but told as what it is, with the path.
                host::ReportMessage("Невозможно сохранить файл подписи: " + SignaturePath(directory, fileName));
                result = kScanFailed;
            } else if (!TWAIN_SelectImageSource(nullptr)) {
                host::ReportMessage(kNoSourceChosenMessage.text);
                result = kNoSourceChosen;
            } else {
                try {
                    AcquireAndSave(SignaturePath(directory, fileName));
                } catch (...) {
                    host::ReportMessage(kNotConnectedMessage.text);
                    result = kScanFailed;
                }
            }
        } catch (...) {
            // Only running out of memory in the tests above can get here.
            result = kScanFailed;
        }
        host::SetParamInt(2, result);
    });
}

}  // namespace kavrel::script
