// 6. One scan: the asking; the words are scan_words.h's.
#include <windows.h>

#include <atomic>
#include <iterator>
#include <cstdint>
#include <vector>

#include "base/error.h"
#include "base/file_bytes.h"
#include "runtime/jpeg/jpeg_decoder.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/scan_words.h"
#include "tools/kvrdiag/text.h"
#include "tools/kvrdiag/twain_steps.h"

namespace kavrel::diag {

namespace {

// A scanned page as a JPEG is far smaller; reading one back never needs more.
constexpr long long kMostJpegBytes = 256ll * 1024 * 1024;

// A folder for the scanned file in the user's TEMP, removed with what is in it unless kept.
class TemporaryFolder {
public:
    TemporaryFolder() {
        // The folder is handed to kvrscan as a script's ANSI text: a TEMP with characters outside
        // the ANSI code page is named by its short form.
        wchar_t wideTemp[MAX_PATH] = {};
        const DWORD n = ::GetTempPathW(MAX_PATH, wideTemp);
        if (n == 0 || n >= MAX_PATH) {
            error_ = n == 0 ? ::GetLastError() : ERROR_FILENAME_EXCED_RANGE;
            return;
        }
        const std::string temp = ToAnsiPath(wideTemp);
        if (temp.empty()) {
            error_ = ERROR_NO_UNICODE_TRANSLATION;
            return;
        }
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = temp + (temp.back() == '\\' ? "" : "\\") + "kvrdiag-" + std::to_string(::GetCurrentProcessId()) +
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
    const std::string& Path() const { return path_; }
    // The file kvrscan makes of kScanName.
    std::string File() const { return path_ + "\\" + kScanName + ".jpg"; }
    static constexpr char kScanName[] = "scan";
    void Keep() { kept_ = true; }

private:
    std::string path_;
    DWORD error_ = 0;
    bool kept_ = false;
};

// kvrscan's steps with the module's exports, in kScanChain's order, and the lowest state in which
// each sends a triplet (TwainSteps::Step); then the closing steps, in kScanClosing's, each
// stepping back only from above the state it leaves (below it, it sends nothing).
struct LinkCall {
    int (*call)(const TwainExports& api, HWND window);
    int sendsFromState;
};
constexpr int kAny = TwainSteps::kFromManagerLoaded;
constexpr int kNever = TwainSteps::kSendsNoTriplet;
constexpr LinkCall kChainCalls[] = {
    {[](const TwainExports& api, HWND) { return api.TWAIN_LoadSourceManager(); }, kNever},
    {[](const TwainExports& api, HWND w) { return api.TWAIN_OpenSourceManager(w); }, kAny},
    {[](const TwainExports& api, HWND) { return api.TWAIN_OpenDefaultSource(); }, kAny},
    {[](const TwainExports& api, HWND) { return api.TWAIN_NegotiateXferCount(1); }, kAny},
    {[](const TwainExports& api, HWND) { return api.TWAIN_NegotiatePixelTypes(0); }, kAny},
    {[](const TwainExports& api, HWND w) { return api.TWAIN_EnableSource(w); }, kAny},
};
constexpr LinkCall kClosingCalls[] = {
    {[](const TwainExports& api, HWND) { return api.TWAIN_DisableSource(); }, 5},
    {[](const TwainExports& api, HWND) { return api.TWAIN_CloseSource(); }, 4},
    {[](const TwainExports& api, HWND w) { return api.TWAIN_CloseSourceManager(w); }, 3},
    {[](const TwainExports& api, HWND) { return api.TWAIN_UnloadSourceManager(); }, kNever},
};
static_assert(std::size(kChainCalls) == std::size(kScanChain) && std::size(kClosingCalls) == std::size(kScanClosing));

// The images the source handed over while kvrscan ran, counted by the library's transfer
// callback (which has no context of its own; kvrdiag runs one scan at a time).
std::atomic<int> transfersDuringKvrscan{0};
void WINAPI CountTransfer(HANDLE, int) { ++transfersDuringKvrscan; }

ReadBack ReadJpegBack(const std::string& path) {
    ReadBack r;
    std::string error;
    try {
        const auto bytes = ReadFileBytes(path, kMostJpegBytes);
        r.bytes = bytes.size();
        // Decoded to its last row, as the viewer will: a header alone says nothing of a file cut short.
        std::vector<std::uint8_t> row;
        jpeg::JpegInfo info;
        r.read = jpeg::ReadJpegHeader(bytes.data(), bytes.size(), &info, &error) &&
                 jpeg::DecodeJpeg(bytes.data(), bytes.size(), info,
                                  [&row, width = info.width](int) {
                                      row.resize(static_cast<std::size_t>(width) * 3);
                                      return row.data();
                                  },
                                  &error);
        r.width = info.width;
        r.height = info.height;
    } catch (const Error& e) {
        error = e.what();
    }
    // kavrel::Error texts, as the module's own messages, are Windows-1251 whatever the system's code page.
    r.error = FromCodePage(error, 1251);
    return r;
}

// kvrscan's steps taken one by one with the module's exports, the source's window hidden: which
// of them fails, or that none does. Every image is freed again.
void TakeTheStepsOneByOne(TwainSteps& steps, ReportSection& section) {
    const auto prepared = steps.Step([](const TwainExports& api, HWND) {
        // Without its window the source scans at once: what fails then is the source's scanning,
        // not its interface nor the person in front of it.
        api.TWAIN_SetHideUI(1);
        api.TWAIN_ClearDibList();
        return 1;
    });
    if (!prepared) return ReportHang(section, L"TWAIN_ClearDibList", steps.Limit());
    section.Ok(section.Say(TextId::StepsBegin));
    if (!steps.OpenWindow()) return ReportNoManagerWindow(section);

    bool enabled = true;
    for (std::size_t i = 0; i < std::size(kChainCalls) && enabled; ++i) {
        const auto answer = steps.Step(kChainCalls[i].call, kChainCalls[i].sendsFromState);
        if (!answer) return ReportHang(section, kScanChain[i].name, steps.Limit());
        enabled = ReportChainStep(kScanChain[i], *answer, section);
    }
    if (enabled) {
        bool interrupted = false;
        const auto loopLimit = steps.Limit() * 4;
        // After `loopLimit` the loop is told to quit, and has one step's time more.
        const auto loop = steps.Step(
            [](const TwainExports& api, HWND window) {
                // As TWAIN_AcquireNative does: the window takes no input while the loop runs.
                ::EnableWindow(window, FALSE);
                api.TWAIN_ModalEventLoop();
                ::EnableWindow(window, TRUE);
                return api.TWAIN_GetNumDibs();
            },
            TwainSteps::kFromManagerLoaded, Bounds{loopLimit, steps.Limit()}, &interrupted);
        if (!loop) return ReportHang(section, L"TWAIN_ModalEventLoop", loopLimit + steps.Limit());
        ReportModalLoop(*loop, interrupted, loopLimit, section);
    }
    for (std::size_t i = 0; i < std::size(kClosingCalls); ++i) {
        const auto answer = steps.Step(kClosingCalls[i].call, kClosingCalls[i].sendsFromState);
        if (!answer) return ReportHang(section, kScanClosing[i], steps.Limit());
        ReportClosingStep(kScanClosing[i], *answer, section);
    }
    steps.CloseWindow();

    // What kvrscan would save: the first image; every image freed again.
    const auto image = steps.Ask([](const TwainExports& api, HWND) {
        FirstImage first;
        first.count = api.TWAIN_GetNumDibs();
        if (first.count > 0) {
            const HANDLE dib = api.TWAIN_GetDib(0);  // the library's, freed with the rest
            first.width = api.TWAIN_DibWidth(dib);
            first.height = api.TWAIN_DibHeight(dib);
            first.depth = api.TWAIN_DibDepth(dib);
        }
        return first;
    });
    if (!image) return ReportHang(section, L"TWAIN_GetNumDibs", steps.Limit());
    const int count = image->count;
    const bool freed = steps.Ask([count](const TwainExports& api, HWND) {
        for (int i = 0; i < count; ++i) api.TWAIN_FreeNative(api.TWAIN_GetDib(i));
        api.TWAIN_ClearDibList();
        return true;
    }).has_value();
    if (!freed) return ReportHang(section, L"TWAIN_FreeNative", steps.Limit());
    ReportImages(*image, enabled, section);
}

// The file kvrscan said it saved, read back as the viewer will read it.
void ReportSavedFile(TemporaryFolder& folder, bool keep, ReportSection& section) {
    const std::wstring shownFile = FromAnsi(folder.File());
    if (!ReportReadBack(ReadJpegBack(folder.File()), shownFile, section)) return;
    if (keep) {
        folder.Keep();
        ReportScanCleanup(ScanCleanup::Kept, shownFile, {}, section);
    } else if (folder.Remove()) {
        ReportScanCleanup(ScanCleanup::Deleted, shownFile, {}, section);
    } else {
        ReportScanCleanup(ScanCleanup::Left, shownFile, SystemError(section.Lang(), ::GetLastError()), section);
    }
}

}  // namespace

void CheckScan(TwainSteps* steps, ModuleUnderTest* module, bool keep, ReportSection& section) {
    if (!steps || !module->started) {
        // No module or no TWAIN library: section 1 says why.
        return section.Fail(section.Say(TextId::ScanNotPossible), section.Say(TextId::SeeSection1));
    }
    if (steps->Stuck()) {
        return section.Fail(section.Say(TextId::TwainNotRun, {section.Say(TextId::TheScan)}),
                            section.Say(TextId::TwainNotRunAction));
    }
    TemporaryFolder folder;
    if (!folder.Made()) {
        return section.Fail(section.Say(TextId::NoScanFolder, {SystemError(section.Lang(), folder.Error())}),
                            section.Say(TextId::NoScanFolderAction));
    }

    // kvrscan runs on the TWAIN thread, where every earlier TWAIN step ran: the library's session
    // and the manager's windows belong to one thread. The operator chooses the scanner and scans,
    // which takes a person's time: four steps' worth, then the thread is told to quit.
    const auto limit = steps->Limit() * 4;
    hoststandin::ScriptHost* const host = &module->host;  // lives as long as the process
    const std::string directory = folder.Path();
    bool interrupted = false;
    // None: not registered under that name.
    auto answer = steps->Ask(
        [host, directory](const TwainExports& api, HWND) {
            std::optional<KvrscanFacts> kvrscan;
            // As at a teller's desk: the source shows its own window.
            api.TWAIN_SetHideUI(0);
            host->ClearRecords();
            transfersDuringKvrscan = 0;
            api.TWAIN_RegisterCallback(&CountTransfer);
            const double start = Now();
            const bool called = host->Call("kvrscan", {directory, TemporaryFolder::kScanName, ""});
            const double seconds = Now() - start;
            api.TWAIN_UnRegisterCallback();
            if (!called) return kvrscan;
            kvrscan.emplace();
            kvrscan->seconds = seconds;
            kvrscan->transfers = transfersDuringKvrscan;
            ReadScriptCall(*host, 2, &*kvrscan);
            return kvrscan;
        },
        Bounds{limit, steps->Limit()}, &interrupted);
    if (!answer) {
        // It was waited for `limit`, told to quit, and given one step's time more.
        return ReportHang(section, section.Say(TextId::KvrscanHang), limit + steps->Limit());
    }
    if (!*answer) return section.Fail(section.Say(TextId::KvrscanNotRegistered), section.Say(TextId::SeeSection1));
    KvrscanFacts& kvrscan = **answer;
    kvrscan.interrupted = interrupted;
    switch (ReportKvrscan(kvrscan, FromAnsi(folder.File()), limit, section)) {
    case AfterKvrscan::Nothing: return;
    case AfterKvrscan::TakeSteps: return TakeTheStepsOneByOne(*steps, section);
    case AfterKvrscan::ReadBack: return ReportSavedFile(folder, keep, section);
    }
}

}  // namespace kavrel::diag
