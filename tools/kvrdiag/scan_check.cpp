// 6. One scan as a teller makes it: the module's kvrscan, called through the host stand-in as
// the interpreter calls it, saves into a temporary folder of this program's own (never the
// signature directory); the file is read back and deleted unless --keep. When kvrscan does not
// save, its steps are taken again one by one with the module's exports, in the order
// TWAIN_AcquireNative takes them and the source's window hidden, to tell where it fails.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/error.h"
#include "base/file_bytes.h"
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

constexpr int kAny = TwainSteps::kFromManagerLoaded;
constexpr int kNever = TwainSteps::kSendsNoTriplet;

struct Link {
    const wchar_t* name;
    TwainSteps::Call call;
    int sendsFromState;  // the lowest state in which the call sends a triplet (TwainSteps::Step)
    const wchar_t* meaning;   // what a failure means for kvrscan
    const wchar_t* operatorMessage;  // and what the operator then reads
    const wchar_t* action;
    // A refusal that kvrscan passes over: the step is reported as it went, and the chain goes on.
    bool answerIgnored = false;
};

struct FirstImage {
    int count = 0;
    HANDLE dib = nullptr;  // the library's, freed with the rest
    int width = 0;
    int height = 0;
    int depth = 0;
};

// The images the source handed over while kvrscan ran, counted by the library's transfer
// callback (which has no context of its own; kvrdiag runs one scan at a time).
std::atomic<int> transfersDuringKvrscan{0};
void WINAPI CountTransfer(HANDLE, int) { ++transfersDuringKvrscan; }

// What kvrscan did, as the host saw it.
struct KvrscanAnswer {
    bool called = false;         // it was registered under that name
    std::optional<int> result;   // what it wrote into its argument 2
    std::vector<std::string> messages;  // OEM code page, as the host receives them
    std::vector<std::string> faults;    // boundary misbehaviour the host stand-in noticed
    double seconds = 0;
    int transfers = 0;  // images the source delivered meanwhile
};

// kvrscan's answers and what each tells IT to do.
const wchar_t* KvrscanAction(int result) {
    switch (result) {
    case 4: return kSeeSection3;
    case 3: return L"check the user's TEMP folder";
    case 2:
        return L"choose the scanner in the selection dialog and press OK; if it lists none, see section 3";
    default: return L"see the steps below";
    }
}

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
        // Decoded to its last row, as the viewer will: a header alone says nothing of a file cut short.
        std::vector<std::uint8_t> row;
        r.read = jpeg::ReadJpegHeader(bytes.data(), bytes.size(), &r.info, &r.error) &&
                 jpeg::DecodeJpeg(bytes.data(), bytes.size(), r.info,
                                  [&row, width = r.info.width](int) {
                                      row.resize(static_cast<std::size_t>(width) * 3);
                                      return row.data();
                                  },
                                  &r.error);
    } catch (const Error& e) {
        r.error = e.what();
    }
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
    section.Ok(L"kvrscan's steps one by one, the source asked to scan without its window (TWAIN_SetHideUI(1)); "
               L"TWAIN_ClearDibList");
    if (!steps.OpenWindow()) {
        section.Fail(L"no window for the TWAIN manager could be made", L"restart Windows and run kvrdiag again");
        return;
    }

    const Link chain[] = {
        {L"TWAIN_LoadSourceManager", [](const TwainExports& api, HWND) { return api.TWAIN_LoadSourceManager(); }, kNever,
         L": the manager does not load; kvrscan answers 4", kNoManagerMessage, kSeeSection3},
        {L"TWAIN_OpenSourceManager", [](const TwainExports& api, HWND w) { return api.TWAIN_OpenSourceManager(w); }, kAny,
         L": the manager does not open; kvrscan answers 2", kNotChosenMessage, kSeeSection3},
        {L"TWAIN_OpenDefaultSource", [](const TwainExports& api, HWND) { return api.TWAIN_OpenDefaultSource(); }, kAny,
         L": the default source does not open; kvrscan answers 1", kNotConnectedMessage,
         L"switch the scanner on and connect it, close any other program using it; choose it once in kvrscan's "
         L"selection dialog"},
        // kvrscan asks for one page; a source that ignores the count is stopped after it all the same.
        {L"TWAIN_NegotiateXferCount(1)", [](const TwainExports& api, HWND) { return api.TWAIN_NegotiateXferCount(1); }, kAny,
         L"", L"", L"", true},
        {L"TWAIN_NegotiatePixelTypes(0)", [](const TwainExports& api, HWND) { return api.TWAIN_NegotiatePixelTypes(0); }, kAny,
         L": the library refuses to go on; kvrscan answers 1", kNotConnectedMessage,
         L"install Kavrel.dll from the release archive again"},
        {L"TWAIN_EnableSource", [](const TwainExports& api, HWND w) { return api.TWAIN_EnableSource(w); }, kAny,
         L": the source refuses to start a scan; kvrscan answers 1", kNotConnectedMessage,
         L"check the scanner (lid, paper, lamp) in its own program; reinstall its TWAIN driver"},
    };
    bool enabled = true;
    for (const Link& link : chain) {
        const auto answer = steps.Step(link.call, link.sendsFromState);
        if (!answer) return ReportHang(section, link.name, steps.Limit());
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
        const auto loopLimit = steps.Limit() * 4;
        const auto loop = steps.LoopStep(
            [](const TwainExports& api, HWND window) {
                // As TWAIN_AcquireNative does: the window takes no input while the loop runs.
                ::EnableWindow(window, FALSE);
                api.TWAIN_ModalEventLoop();
                ::EnableWindow(window, TRUE);
                return api.TWAIN_GetNumDibs();
            },
            loopLimit, &interrupted);
        if (!loop) return ReportHang(section, L"TWAIN_ModalEventLoop", loopLimit + steps.Limit());
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

    // Each steps back only from above the state it leaves; below it, it sends nothing.
    const Link closing[] = {
        {L"TWAIN_DisableSource", [](const TwainExports& api, HWND) { return api.TWAIN_DisableSource(); }, 5, L"", L"", L""},
        {L"TWAIN_CloseSource", [](const TwainExports& api, HWND) { return api.TWAIN_CloseSource(); }, 4, L"", L"", L""},
        {L"TWAIN_CloseSourceManager", [](const TwainExports& api, HWND w) { return api.TWAIN_CloseSourceManager(w); }, 3,
         L"", L"", L""},
        {L"TWAIN_UnloadSourceManager", [](const TwainExports& api, HWND) { return api.TWAIN_UnloadSourceManager(); }, kNever,
         L"", L"", L""},
    };
    for (const Link& link : closing) {
        const auto answer = steps.Step(link.call, link.sendsFromState);
        if (!answer) return ReportHang(section, link.name, steps.Limit());
        if (answer->returned) {
            section.Ok(StepFact(link.name, *answer));
        } else {
            section.Warn(StepFact(link.name, *answer) + L": the library cannot step back here",
                         L"update the scanner's TWAIN driver; until then restart the interpreter after a failed scan");
        }
    }
    steps.CloseWindow();

    // What kvrscan would save: the first image; every image freed again.
    const auto image = steps.Ask([](const TwainExports& api, HWND) {
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
    if (!image) return ReportHang(section, L"TWAIN_GetNumDibs", steps.Limit());
    const int count = image->count;
    const bool freed = steps.Run([count](const TwainExports& api, HWND) {
        for (int i = 0; i < count; ++i) api.TWAIN_FreeNative(api.TWAIN_GetDib(i));
        api.TWAIN_ClearDibList();
    });
    if (!freed) return ReportHang(section, L"TWAIN_FreeNative", steps.Limit());
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
    section.Warn(L"with its window hidden the source scans: kvrscan fails in the source selection or in the "
                 L"source's own window",
                 L"scan a page in the scanner's own program with its window shown; update its TWAIN driver");
}

// The file kvrscan said it saved, read back as the viewer will read it.
void ReportSavedFile(TemporaryFolder& folder, bool keep, ReportSection& section) {
    const std::string file = folder.File();
    const ReadBack back = ReadJpegBack(file);
    const std::wstring shownFile = FromAnsi(file);
    if (!back.read) {
        section.Fail(L"the saved file " + shownFile + L" is no readable JPEG: " + FromModuleText(back.error),
                     L"install Kavrel.dll from the release archive again");
        return;
    }
    section.Ok(L"read back: a JPEG of " + Bytes(back.bytes) + L", " + std::to_wstring(back.info.width) + L" x " +
               std::to_wstring(back.info.height) + L" pixels");
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

}  // namespace

void CheckScan(TwainSteps* steps, ModuleUnderTest* module, bool keep, ReportSection& section) {
    if (!steps || !module->started) {
        section.Fail(L"the scan cannot be tried: the module's kvrscan or its TWAIN library is not there (section 1)",
                     L"see section 1");
        return;
    }
    if (steps->Stuck()) return ReportNotRun(section, L"the scan");
    TemporaryFolder folder;
    if (!folder.Made()) {
        section.Fail(L"no temporary folder for the scan can be made: " + SystemError(folder.Error()),
                     L"check that the user's TEMP folder exists and can be written");
        return;
    }

    // kvrscan runs on the TWAIN thread, where every earlier TWAIN step ran: the library's session
    // and the manager's windows belong to one thread. The operator chooses the scanner and scans,
    // which takes a person's time: four steps' worth, then the thread is told to quit.
    const auto limit = steps->Limit() * 4;
    auto answer = std::make_shared<KvrscanAnswer>();
    hoststandin::ScriptHost* const host = &module->host;  // lives as long as the process
    const std::string directory = folder.Path();
    bool interrupted = false;
    const bool ended = steps->RunLoop(
        [answer, host, directory](const TwainExports& api, HWND) {
            // As at a teller's desk: the source shows its own window.
            api.TWAIN_SetHideUI(0);
            host->ClearRecords();
            transfersDuringKvrscan = 0;
            api.TWAIN_RegisterCallback(&CountTransfer);
            const double start = Now();
            answer->called = host->Call("kvrscan", {directory, TemporaryFolder::kScanName, ""});
            answer->seconds = Now() - start;
            api.TWAIN_UnRegisterCallback();
            answer->transfers = transfersDuringKvrscan;
            for (const auto& written : host->integers) {
                if (written.index == 2) answer->result = written.value;
            }
            answer->messages = host->messages;
            answer->faults = host->faults;
        },
        limit, &interrupted);
    if (!ended) {
        // It was waited for `limit`, told to quit, and given one step's time more.
        return ReportHang(section, L"kvrscan (the source selection, the scan, the saving)", limit + steps->Limit());
    }
    if (!answer->called) {
        section.Fail(L"kvrscan is not registered (section 1)", L"see section 1");
        return;
    }

    std::wstring fact = L"kvrscan = " + (answer->result ? std::to_wstring(*answer->result) : std::wstring(L"nothing")) +
                        L" after " + Seconds(answer->seconds);
    for (const auto& message : answer->messages) fact += L", " + Quoted(FromOem(message));
    for (const auto& fault : answer->faults) fact += L"; " + FromAnsi(fault);
    const bool saved = answer->result == 0 && answer->faults.empty();
    if (saved) {
        section.Ok(fact + L": the scanner chosen in the selection dialog, the page scanned in its window, saved as " +
                   FromAnsi(folder.File()));
    } else if (interrupted) {
        section.Fail(fact + L": it had not ended in " + std::to_wstring(limit.count() / 1000) +
                         L" s and was told to quit (WM_QUIT)",
                     L"choose the scanner and scan the page within that time, or give --timeout more seconds");
    } else if (!answer->result || !answer->faults.empty()) {
        section.Fail(fact + L": not the one answer the interpreter expects", L"install Kavrel.dll from the release archive again");
    } else if (answer->transfers > 0) {
        // The page came: what failed is the saving, as it would into the signature directory.
        section.Fail(fact + L": the source delivered " + std::to_wstring(answer->transfers) +
                         L" image(s), and saving the page as a JPEG failed",
                     L"check the free space of the user's TEMP drive and the rights to write there");
        return;
    } else {
        section.Fail(fact, KvrscanAction(*answer->result));
    }
    // Without a manager (answer 4) there are no steps to take: section 3 has said why.
    if (!saved && answer->result != 4) return TakeTheStepsOneByOne(*steps, section);
    if (!saved) return;
    // An answer of 0 is a signature on file: the file must be there and be a picture.
    ReportSavedFile(folder, keep, section);
}

}  // namespace kavrel::diag
