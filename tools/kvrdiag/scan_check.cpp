// 6. One scan, step by step with the module's exports in the order TWAIN_AcquireNative takes
// them, then kvrscan's save road into a temporary folder of this program's own (never the
// signature directory), read back and deleted unless --keep.
#include <windows.h>

#include "base/error.h"
#include "base/file_bytes.h"
#include "module/signature_jpeg.h"
#include "runtime/jpeg/jpeg_decoder.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/file_facts.h"
#include "tools/kvrdiag/text.h"
#include "tools/kvrdiag/twain_steps.h"

namespace kavrel::diag {

namespace {

// A scanned page as a JPEG is far smaller; reading one back never needs more.
constexpr long long kMostJpegBytes = 256ll * 1024 * 1024;

constexpr wchar_t kSeeSection3[] = L"see section 3 for the manager and its sources";

// A folder for the scanned file in the user's TEMP, removed with what is in it unless kept.
class TemporaryFolder {
public:
    TemporaryFolder() {
        char temp[MAX_PATH] = {};
        const DWORD n = ::GetTempPathA(sizeof temp, temp);
        if (n == 0 || n >= sizeof temp) {
            error_ = ::GetLastError();
            return;
        }
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = std::string(temp) + "kvrdiag-" + std::to_string(::GetCurrentProcessId()) +
                                          "-" + std::to_string(::GetTickCount() + attempt);
            if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
                path_ = candidate;
            } else if (::GetLastError() != ERROR_ALREADY_EXISTS) {
                error_ = ::GetLastError();
                return;
            }
        }
        if (path_.empty()) error_ = ERROR_ALREADY_EXISTS;
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        if (!kept_) Remove();
    }

    // Deletes the file (if it was made) and the folder; false when something stays behind.
    bool Remove() {
        if (path_.empty()) return true;
        ::DeleteFileA(File().c_str());
        if (!::RemoveDirectoryA(path_.c_str())) return false;
        path_.clear();
        return true;
    }

    bool Made() const { return !path_.empty(); }
    DWORD Error() const { return error_; }
    std::string File() const { return path_ + "\\scan.jpg"; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    DWORD error_ = 0;
    bool kept_ = false;
};

struct Link {
    const wchar_t* name;
    TwainSteps::Call call;
    bool sendsTriplets;
    const wchar_t* meaning;   // what a failure means for kvrscan
    const wchar_t* operatorMessage;  // and what the operator then reads
    const wchar_t* action;
    // A refusal that kvrscan passes over: the step is reported as it went, and the chain goes on.
    bool answerIgnored = false;
};

struct FirstImage {
    int count = 0;
    HANDLE dib = nullptr;
    int width = 0;
    int height = 0;
    int depth = 0;
};

struct Saving {
    bool saved = false;
    std::string error;  // kavrel::Error's text (Windows-1251)
    double seconds = 0;
};

struct ReadBack {
    bool read = false;
    unsigned long long bytes = 0;
    jpeg::JpegInfo info;
    std::string error;
};

ReadBack ReadJpegBack(const std::string& path) {
    ReadBack r;
    try {
        const auto bytes = ReadFileBytes(path, kMostJpegBytes);
        r.bytes = bytes.size();
        r.read = jpeg::ReadJpegHeader(bytes.data(), bytes.size(), &r.info, &r.error);
    } catch (const Error& e) {
        r.error = e.what();
    }
    return r;
}

}  // namespace

void CheckScan(TwainSteps* steps, bool keep, ReportSection& section) {
    if (!steps) {
        section.Fail(L"the scan cannot be tried: the module's TWAIN library is not there (section 1)", L"see section 1");
        return;
    }
    if (steps->Stuck()) return ReportNotRun(section, L"the scan");
    TemporaryFolder folder;
    if (!folder.Made()) {
        section.Fail(L"no temporary folder for the scan can be made: " + SystemError(folder.Error()),
                     L"check that the user's TEMP folder exists and can be written");
        return;
    }

    const auto prepared = steps->Step([](const TwainExports& api, HWND) {
        // A check runs unattended: the source is asked to scan without its own window.
        api.TWAIN_SetHideUI(1);
        api.TWAIN_ClearDibList();
        return 1;
    });
    if (!prepared) return ReportHang(section, L"TWAIN_ClearDibList", steps->Limit());
    section.Ok(L"TWAIN_SetHideUI(1): the source is asked to scan without its window; TWAIN_ClearDibList");
    if (!steps->OpenWindow()) {
        section.Fail(L"no window for the TWAIN manager could be made", L"restart Windows and run kvrdiag again");
        return;
    }

    const Link chain[] = {
        {L"TWAIN_LoadSourceManager", [](const TwainExports& api, HWND) { return api.TWAIN_LoadSourceManager(); }, false,
         L": the manager does not load; kvrscan answers 4", kNoManagerMessage, kSeeSection3},
        {L"TWAIN_OpenSourceManager", [](const TwainExports& api, HWND w) { return api.TWAIN_OpenSourceManager(w); }, true,
         L": the manager does not open; kvrscan answers 2", kNotChosenMessage, kSeeSection3},
        {L"TWAIN_OpenDefaultSource", [](const TwainExports& api, HWND) { return api.TWAIN_OpenDefaultSource(); }, true,
         L": the default source does not open; kvrscan answers 1", kNotConnectedMessage,
         L"switch the scanner on and connect it, close any other program using it; choose it once in kvrscan's "
         L"selection dialog"},
        // kvrscan asks for one page; a source that ignores the count is stopped after it all the same.
        {L"TWAIN_NegotiateXferCount(1)", [](const TwainExports& api, HWND) { return api.TWAIN_NegotiateXferCount(1); }, true,
         L"", L"", L"", true},
        {L"TWAIN_NegotiatePixelTypes(0)", [](const TwainExports& api, HWND) { return api.TWAIN_NegotiatePixelTypes(0); }, true,
         L": the library refuses to go on; kvrscan answers 1", kNotConnectedMessage,
         L"install Kavrel.dll from the release archive again"},
        {L"TWAIN_EnableSource", [](const TwainExports& api, HWND w) { return api.TWAIN_EnableSource(w); }, true,
         L": the source refuses to start a scan; kvrscan answers 1", kNotConnectedMessage,
         L"check the scanner (lid, paper, lamp) in its own program; reinstall its TWAIN driver"},
    };
    bool enabled = true;
    for (const Link& link : chain) {
        const auto answer = steps->Step(link.call, link.sendsTriplets);
        if (!answer) return ReportHang(section, link.name, steps->Limit());
        if (!answer->returned && link.answerIgnored) {
            section.Ok(StepFact(link.name, *answer) + L": refused; kvrscan goes on, and the library takes one page");
            continue;
        }
        if (!answer->returned) {
            section.Fail(StepFact(link.name, *answer) + link.meaning + L" " + Quoted(link.operatorMessage), link.action);
            enabled = false;
            break;
        }
        section.Ok(StepFact(link.name, *answer));
    }
    if (enabled) {
        bool interrupted = false;
        const auto loopLimit = steps->Limit() * 4;
        const auto loop = steps->LoopStep(
            [](const TwainExports& api, HWND window) {
                // As TWAIN_AcquireNative does: the window takes no input while the loop runs.
                ::EnableWindow(window, FALSE);
                api.TWAIN_ModalEventLoop();
                ::EnableWindow(window, TRUE);
                return api.TWAIN_GetNumDibs();
            },
            loopLimit, &interrupted);
        if (!loop) return ReportHang(section, L"TWAIN_ModalEventLoop", steps->Limit());
        const std::wstring fact = L"TWAIN_ModalEventLoop ended after " + Seconds(loop->seconds) + L" with " +
                                  std::to_wstring(loop->returned) + L" image(s): " +
                                  CodesText(loop->resultCode, loop->conditionCode) + L", state " +
                                  std::to_wstring(loop->state);
        if (interrupted) {
            section.Fail(fact + L"; no image came in " + std::to_wstring(loopLimit.count() / 1000) +
                             L" s, and the loop was ended with WM_QUIT",
                         L"put a page on the scanner's glass or in its feeder, and check the scanner in its own program");
        } else {
            section.Ok(fact);
        }
    }

    const Link closing[] = {
        {L"TWAIN_DisableSource", [](const TwainExports& api, HWND) { return api.TWAIN_DisableSource(); }, true, L"", L"", L""},
        {L"TWAIN_CloseSource", [](const TwainExports& api, HWND) { return api.TWAIN_CloseSource(); }, true, L"", L"", L""},
        {L"TWAIN_CloseSourceManager", [](const TwainExports& api, HWND w) { return api.TWAIN_CloseSourceManager(w); }, true,
         L"", L"", L""},
        {L"TWAIN_UnloadSourceManager", [](const TwainExports& api, HWND) { return api.TWAIN_UnloadSourceManager(); }, false,
         L"", L"", L""},
    };
    for (const Link& link : closing) {
        const auto answer = steps->Step(link.call, link.sendsTriplets);
        if (!answer) return ReportHang(section, link.name, steps->Limit());
        if (answer->returned) {
            section.Ok(StepFact(link.name, *answer));
        } else {
            section.Warn(StepFact(link.name, *answer) + L": the library cannot step back here",
                         L"update the scanner's TWAIN driver; until then restart the interpreter after a failed scan");
        }
    }
    steps->CloseWindow();

    // kvrscan's road from here: the first image, saved as JPEG; every image freed.
    const auto image = steps->Ask([](const TwainExports& api, HWND) {
        FirstImage first;
        first.count = api.TWAIN_GetNumDibs();
        if (first.count > 0) {
            first.dib = api.TWAIN_GetDib(0);
            first.width = api.TWAIN_DibWidth(first.dib);
            first.height = api.TWAIN_DibHeight(first.dib);
            first.depth = api.TWAIN_DibDepth(first.dib);
        }
        return first;
    });
    if (!image) return ReportHang(section, L"TWAIN_GetNumDibs", steps->Limit());
    if (image->count == 0) {
        // A chain that stopped early has said why already.
        if (enabled) {
            section.Fail(L"TWAIN_GetNumDibs = 0: no image arrived; kvrscan answers 1 " + Quoted(kNotConnectedMessage),
                         L"scan a page in the scanner's own program; if that works, reinstall its TWAIN driver");
        }
        return;
    }
    section.Ok(L"TWAIN_GetNumDibs = " + std::to_wstring(image->count) + L"; TWAIN_GetDib(0): " +
               std::to_wstring(image->width) + L" x " + std::to_wstring(image->height) + L" pixels, " +
               std::to_wstring(image->depth) + L" bits a pixel");

    const std::string file = folder.File();
    const HANDLE dib = image->dib;
    const auto saving = steps->Ask([dib, file](const TwainExports&, HWND) {
        Saving s;
        const double start = Now();
        try {
            script::SaveDibAsJpeg(dib, file);
            s.saved = true;
        } catch (const Error& e) {
            s.error = e.what();
        }
        s.seconds = Now() - start;
        return s;
    });
    if (!saving) return ReportHang(section, L"saving the scan (drawing, encoding, writing)", steps->Limit());
    const int count = image->count;
    const bool freed = steps->Run([count](const TwainExports& api, HWND) {
        for (int i = 0; i < count; ++i) api.TWAIN_FreeNative(api.TWAIN_GetDib(i));
    });
    if (!freed) return ReportHang(section, L"TWAIN_FreeNative", steps->Limit());
    if (!saving->saved) {
        section.Fail(L"kvrscan's save road (SaveDibAsJpeg) failed after " + Seconds(saving->seconds) + L": " +
                         FromModuleText(saving->error) + L"; kvrscan answers 1 " + Quoted(kNotConnectedMessage),
                     L"check the user's TEMP folder and the free space on its drive");
        return;
    }
    const ReadBack back = ReadJpegBack(file);
    const std::wstring shownFile = FromAnsi(file);
    if (!back.read) {
        section.Fail(L"the saved file " + shownFile + L" is no readable JPEG: " + FromModuleText(back.error),
                     L"install Kavrel.dll from the release archive again");
        return;
    }
    const int height = image->height < 0 ? -image->height : image->height;
    const std::wstring fact = L"saved on kvrscan's road (draw, encode, write) in " + Seconds(saving->seconds) +
                              L": a JPEG of " + Bytes(back.bytes) + L", " + std::to_wstring(back.info.width) +
                              L" x " + std::to_wstring(back.info.height) + L" pixels";
    if (back.info.width != image->width || back.info.height != height) {
        section.Fail(fact + L", not the image's " + std::to_wstring(image->width) + L" x " + std::to_wstring(height),
                     L"install Kavrel.dll from the release archive again");
    } else {
        section.Ok(fact);
    }
    if (keep) {
        folder.Keep();
        section.Ok(L"kept: " + shownFile);
    } else if (folder.Remove()) {
        section.Ok(L"the file and its temporary folder are deleted again");
    } else {
        section.Warn(L"the temporary folder of the scan could not be deleted: " + SystemError(::GetLastError()),
                     L"delete " + shownFile + L" and its folder by hand");
    }
}

}  // namespace kavrel::diag
