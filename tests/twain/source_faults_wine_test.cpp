// Scanner drivers that misbehave, one table: each row sets a fault of the virtual scanner, runs an
// acquisition through Wine's own TWAIN manager (or kvrscan, for the rows about the image), and
// checks what the library did. Every row must end without a crash or a hang, with the library in
// state 1 -- and a normal acquisition must work right after it in the same process. The table is
// printed with the outcome of each row.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/dib_builder.h"
#include "support/import_patch.h"
#include "support/kavrel_api.h"
#include "support/test_support.h"
#include "support/window_driver.h"
#include "tools/kvrhost/script_host.h"
#include "tools/virtual_scanner/test_pattern.h"
#include "twain/twain_protocol.h"

namespace kavrel::test {
namespace {

struct Outcome {
    std::string seen;  // what happened, for the table
    bool asExpected = false;
};

using RowRun = std::function<Outcome(KavrelApi& kv, hoststandin::ScriptHost& host, const ScratchDir& dir)>;

struct Row {
    const char* fault;
    const char* expected;
    std::string settings;  // the scanner's faults, in its settings file
    RowRun run;
};

// Acquires with the scanner's interface hidden; answers (and records) the library's boxes.
struct Acquisition {
    HANDLE result = nullptr;
    int dibs = 0;
    std::vector<SeenWindow> boxes;
};
Acquisition Acquire(KavrelApi& kv, unsigned long pixelTypes = 0) {
    Acquisition a;
    WindowWatcher watcher;
    a.result = kv.TWAIN_AcquireNative(nullptr, pixelTypes);
    a.dibs = kv.TWAIN_GetNumDibs();
    a.boxes = watcher.Dialogs();
    return a;
}

std::string Describe(const Acquisition& a) {
    return std::string(a.result ? "an image" : "null") + ", " + std::to_string(a.dibs) + " listed" +
           (a.boxes.empty() ? "" : ", box \"" + a.boxes[0].text.substr(0, a.boxes[0].text.find('\n')) + "\"");
}

// kvrscan through the host stand-in; the operator presses OK in the manager's selection.
int Kvrscan(hoststandin::ScriptHost& host, const std::string& directory, std::vector<std::string>* messages) {
    host.ClearRecords();
    {
        WindowWatcher watcher([](const SeenWindow& w) {
            if (w.className == "#32770" && ::FindWindowExA(w.window, nullptr, "ListBox", nullptr)) return IDOK;
            return PressFirstButton(w);
        });
        host.Call("kvrscan", {directory, "signature", "result"});
    }
    for (const auto& m : host.messages) messages->push_back(Ansi(FromOem(m)));
    return host.integers.size() == 1 ? host.integers[0].value : -1;
}

// A row that acquires once with the interface hidden and judges what came of it.
RowRun Acquiring(std::function<bool(KavrelApi& kv, const Acquisition& a)> judge, unsigned long pixelTypes = 0) {
    return [judge, pixelTypes](KavrelApi& kv, hoststandin::ScriptHost&, const ScratchDir&) {
        const Acquisition a = Acquire(kv, pixelTypes);
        return Outcome{Describe(a), judge(kv, a)};
    };
}

// What most rows expect of their acquisition.
bool Nothing(KavrelApi&, const Acquisition& a) { return !a.result && a.dibs == 0; }
bool NothingNoBox(KavrelApi& kv, const Acquisition& a) { return Nothing(kv, a) && a.boxes.empty(); }
bool OneImage(KavrelApi&, const Acquisition& a) { return a.result && a.dibs == 1; }
// No image, and the one box says why: the library error recorded for an unusable handover.
bool NothingUsableReported(KavrelApi& kv, const Acquisition& a) {
    return Nothing(kv, a) && a.boxes.size() == 1 && a.boxes[0].text.find("Library error 14") != std::string::npos;
}
// One image, a DIB holding the scanner's first colour page (64 x 40) pixel for pixel.
bool OnePatternPage(KavrelApi& kv, const Acquisition& a) {
    if (!OneImage(kv, a)) return false;
    const auto bytes = BytesOf(static_cast<HGLOBAL>(a.result));
    BITMAPINFOHEADER h{};
    if (bytes.size() < sizeof h) return false;
    std::memcpy(&h, bytes.data(), sizeof h);
    if (h.biSize != 40 || h.biWidth != 64 || h.biHeight != 40 || h.biBitCount != 24 ||
        bytes.size() < 40 + RowBytes(64, 24) * 40) {
        return false;
    }
    for (int y = 0; y < 40; ++y) {
        const std::uint8_t* row = bytes.data() + 40 + RowBytes(64, 24) * static_cast<std::size_t>(39 - y);
        for (int x = 0; x < 64; ++x) {
            const auto c = vscan::PatternColour(x, y, 64, 40, 0);
            if (row[3 * x] != c.blue || row[3 * x + 1] != c.green || row[3 * x + 2] != c.red) return false;
        }
    }
    return true;
}

// One image of `bits` a pixel, no box: the pixel types asked for were taken.
std::function<bool(KavrelApi&, const Acquisition&)> OneImageOf(int bits) {
    return [bits](KavrelApi& kv, const Acquisition& a) {
        return OneImage(kv, a) && kv.TWAIN_DibDepth(a.result) == bits && a.boxes.empty();
    };
}

// Transfers handed to the registered callback (the same Kavrel.dll serves kvrscan).
int transfersSeen = 0;
void WINAPI CountTransfer(HANDLE, int) { ++transfersSeen; }

// A clipboard that refuses the image (SetClipboardData fails without an owner or without memory),
// and whether the library then frees the block it refused.
HANDLE refusedByClipboard = nullptr;
bool refusedFreed = false;
decltype(&::GlobalFree) realGlobalFree = nullptr;
HANDLE WINAPI RefuseClipboardData(UINT, HANDLE data) {
    refusedByClipboard = data;
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
HGLOBAL WINAPI RecordGlobalFree(HGLOBAL block) {
    refusedFreed = refusedFreed || (block && block == refusedByClipboard);
    return realGlobalFree(block);
}

// A row where kvrscan must refuse the delivered page: code 1, its one message, no file.
RowRun KvrscanRefusesThePage() {
    return [](KavrelApi&, hoststandin::ScriptHost& host, const ScratchDir& dir) {
        std::vector<std::string> messages;
        const int code = Kvrscan(host, dir.Path(), &messages);
        const bool written = FileExists(dir / "signature.jpg");
        return Outcome{"code " + std::to_string(code) + (written ? ", a file written" : ", no file"),
                       code == 1 && !written && messages.size() == 1};
    };
}

TEST(SourceFaults, AMisbehavingScannerThroughWinesManager) {
    ScratchDir dir;
    const std::string ini = dir / "virtual-scanner.ini";
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
    KavrelApi kv(true);
    ASSERT_TRUE(kv.Loaded());
    hoststandin::ScriptHost host;
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
    host.Start();
    kv.TWAIN_SetHideUI(1);  // the same Kavrel.dll: kvrscan's scans are hidden too

    const Row rows[] = {
        {"transfers that fail for ever", "attempts bounded, pending reset, ended by the close request; null",
         "FailTransfers=-1\r\n", Acquiring(NothingNoBox)},
        {"1,005 images in one batch", "999 kept, the rest reset; the last kept returned",
         "Width=8\r\nHeight=8\r\nPages=1005\r\n", Acquiring([](KavrelApi& kv, const Acquisition& a) {
             return a.dibs == 999 && a.result == kv.TWAIN_GetDib(998) && kv.TWAIN_GetDib(999) == nullptr &&
                    a.boxes.empty();
         })},
        {"MSG_ENDXFER refused", "the image kept; the closing steps still reach state 1",
         "RefuseEndTransfer=1\r\n", Acquiring(OneImage)},
        {"MSG_RESET refused", "no image; the close request still ends the loop",
         "FailTransfers=-1\r\nRefuseReset=1\r\n", Acquiring(Nothing)},
        {"MSG_ENABLEDS answered TWRC_CANCEL", "not enabled, no loop, no box; null",
         "EnableAnswer=cancel\r\n", Acquiring(NothingNoBox)},
        {"MSG_ENABLEDS answered TWRC_CHECKSTATUS", "enabled: the image arrives",
         "EnableAnswer=checkstatus\r\n", Acquiring(OneImage)},
        {"MSG_XFERREADY said twice", "one batch: the image once",
         "ReadyTwice=1\r\n", Acquiring(OneImage)},
        {"a close request before any image", "null, nothing listed",
         "CloseRequest=1\r\n", Acquiring(Nothing)},
        {"a close request in the middle of a feeder batch", "the two pages delivered; the second returned",
         "Pages=5\r\nCloseAfterPages=2\r\n", Acquiring([](KavrelApi& kv, const Acquisition& a) {
             return a.dibs == 2 && a.result == kv.TWAIN_GetDib(1);
         })},
        {"a cancelled transfer, then a close request", "null, nothing listed",
         "Cancel=1\r\n", Acquiring(Nothing)},
        {"TWRC_XFERDONE with a null handle", "not listed, no image; reported as library error 14",
         "Deliver=null\r\n", Acquiring(NothingUsableReported)},
        {"TWRC_XFERDONE with a handle that cannot be locked", "not listed, freed, no image; reported as library error 14",
         "Deliver=unlockable\r\n", Acquiring(NothingUsableReported)},
        {"TWRC_XFERDONE with a DIB section (Wine's camera source)", "taken as a DIB of the same pixels, listed",
         "Deliver=dibsection\r\n", Acquiring(OnePatternPage)},
        {"TWRC_XFERDONE with a device-dependent bitmap", "taken as a DIB of the same pixels, listed",
         "Deliver=bitmap\r\n", Acquiring(OnePatternPage)},
        {"a top-down page file as a DIB section and as a bitmap", "taken as a DIB of the same pixels, listed, both times",
         "Deliver=dibsection\r\n", [](KavrelApi& kv, hoststandin::ScriptHost&, const ScratchDir& dir) {
             // The scanner's first colour page, stored top-down in a file, handed over both ways.
             std::vector<std::uint8_t> pixels;
             for (int y = 0; y < 40; ++y) {
                 for (int x = 0; x < 64; ++x) {
                     const auto c = vscan::PatternColour(x, y, 64, 40, 0);
                     pixels.insert(pixels.end(), {c.blue, c.green, c.red});
                 }
             }
             const std::string file = dir / "top-down.bmp";
             WriteBytes(file, BmpFileOf(InfoHeaderBytes(40, 64, -40, 24, BI_RGB), {}, pixels));
             std::string seen;
             bool both = true;
             for (const char* road : {"dibsection", "bitmap"}) {
                 WriteBytes(dir / "virtual-scanner.ini", "[Scanner]\r\nImage=" + file + "\r\nDeliver=" + road + "\r\n");
                 const Acquisition a = Acquire(kv);
                 const bool right = OnePatternPage(kv, a);
                 seen += std::string(road) + ": " + (right ? "the page" : Describe(a)) + "; ";
                 both = both && right;
                 if (a.result) kv.TWAIN_FreeNative(a.result);
                 kv.TWAIN_ClearDibList();  // freed here: the list must not offer it again
             }
             return Outcome{seen, both};
         }},
        {"failing transfers and no close request (interface hidden)", "the batch over, the acquisition ends; null",
         "FailTransfers=-1\r\nWithholdCloseRequest=1\r\n", Acquiring(NothingNoBox)},
        {"a cancelled batch and no close request (interface hidden)", "the batch over, the acquisition ends; null",
         "Cancel=1\r\nWithholdCloseRequest=1\r\n", Acquiring(NothingNoBox)},
        {"TWRC_CHECKSTATUS to a hidden enabling, no window, no close request", "the batch over, the acquisition ends; null",
         "EnableAnswer=checkstatus\r\nCancel=1\r\nWithholdCloseRequest=1\r\n", Acquiring(NothingNoBox)},
        {"a pending count that never falls, to a file and to the clipboard",
         "the image that arrived is written and put on the clipboard (not reported as none)",
         "PendingNeverFalls=1\r\nWithholdCloseRequest=1\r\n", [](KavrelApi& kv, hoststandin::ScriptHost&, const ScratchDir& dir) {
             const std::string file = dir / "pending.bmp";
             const int written = kv.TWAIN_AcquireToFilename(nullptr, file.c_str());
             // Neither image is the caller's any more: the list must not offer them.
             const int listedAfterFile = kv.TWAIN_GetNumDibs();
             const int onClipboard = kv.TWAIN_AcquireToClipboard(nullptr, 0);
             bool clipboardHasIt = false;
             if (::OpenClipboard(nullptr)) {
                 clipboardHasIt = ::GetClipboardData(CF_DIB) != nullptr;
                 ::CloseClipboard();
             }
             const int listedAfterClipboard = kv.TWAIN_GetNumDibs();
             return Outcome{"file " + std::to_string(written) + ", clipboard " + std::to_string(onClipboard) + ", " +
                                std::to_string(listedAfterFile) + " and " + std::to_string(listedAfterClipboard) + " listed",
                            written == 0 && FileExists(file) && onClipboard == 1 && clipboardHasIt &&
                                listedAfterFile == 0 && listedAfterClipboard == 0};
         }},
        {"the clipboard refuses the image", "the call fails; the image freed, not listed",
         "", [](KavrelApi& kv, hoststandin::ScriptHost&, const ScratchDir&) {
             refusedByClipboard = nullptr;
             refusedFreed = false;
             ImportPatch refusing(kv.Module(), "user32.dll", "SetClipboardData", &RefuseClipboardData);
             ImportPatch recording(kv.Module(), "kernel32.dll", "GlobalFree", &RecordGlobalFree);
             if (!refusing.Holds() || !recording.Holds()) return Outcome{"imports not found", false};
             realGlobalFree = recording.Original<HGLOBAL WINAPI(HGLOBAL)>();
             const int onClipboard = kv.TWAIN_AcquireToClipboard(nullptr, 0);
             return Outcome{"clipboard " + std::to_string(onClipboard) + (refusedByClipboard ? ", refused" : ", not offered") +
                                (refusedFreed ? ", freed, " : ", not freed, ") + std::to_string(kv.TWAIN_GetNumDibs()) + " listed",
                            onClipboard == 0 && refusedByClipboard && refusedFreed && kv.TWAIN_GetNumDibs() == 0};
         }},
        {"a pending count that never falls, no close request (Wine's camera source)",
         "the pages listed, the failing transfers after them reset, the acquisition ends; null",
         "Pages=2\r\nPendingNeverFalls=1\r\nWithholdCloseRequest=1\r\n", Acquiring([](KavrelApi&, const Acquisition& a) {
             return !a.result && a.dibs == 2 && a.boxes.empty();
         })},
        {"a DIB whose header claims more than its block", "kvrscan code 1, no file",
         "Deliver=lying\r\n", KvrscanRefusesThePage()},
        {"a DIB of 0 x 0 pixels", "kvrscan code 1, no file",
         "Deliver=empty\r\n", KvrscanRefusesThePage()},
        {"a 1-bit DIB without its colour table (Wine's SANE bridge)", "not listed, freed, no image; library error 14",
         "Deliver=nopalette\r\n", Acquiring(NothingUsableReported)},
        {"a DIB of 48 bits a pixel (Wine's SANE bridge)", "not listed, freed, no image; library error 14",
         "Deliver=deep\r\n", Acquiring(NothingUsableReported)},
        {"grey asked of a standard-strict source (an index outside the list refused)", "the grey page, no box",
         "", Acquiring(OneImageOf(8), 1u << twain::TWPT_GRAY)},
        {"pixel types set only as one value (Wine's SANE bridge)", "grey sent alone: the grey page, no box",
         "SetOneValueOnly=1\r\n", Acquiring(OneImageOf(8), 1u << twain::TWPT_GRAY)},
        {"a one-value answer with garbage in its upper half (Wine's SANE bridge)", "read as RGB: the colour page, no box",
         "GetOneValue=dirty\r\n", Acquiring(OneImageOf(24), 1u << twain::TWPT_RGB)},
        {"a batch that never ends and ignores the transfer count (Wine's SANE bridge)",
         "kvrscan takes one page: saved, one transfer", "EndlessBatch=1\r\n",
         [](KavrelApi& kv, hoststandin::ScriptHost& host, const ScratchDir& dir) {
             transfersSeen = 0;
             kv.TWAIN_RegisterCallback(&CountTransfer);
             std::vector<std::string> messages;
             const int code = Kvrscan(host, dir.Path(), &messages);
             kv.TWAIN_UnRegisterCallback();
             const bool written = FileExists(dir / "signature.jpg");
             ::DeleteFileA((dir / "signature.jpg").c_str());
             return Outcome{"code " + std::to_string(code) + ", " + std::to_string(transfersSeen) + " transfers",
                            code == 0 && written && transfersSeen == 1 && messages.empty()};
         }},
    };

    std::string table = "| fault | expected | outcome | state after | normal acquisition after |\n|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        WriteBytes(ini, "[Scanner]\r\nWidth=64\r\nHeight=40\r\n" + row.settings);
        // A row that would hang ends at its watcher's deadline, which fails the test on its own.
        const Outcome outcome = row.run(kv, host, dir);
        const int stateAfter = kv.TWAIN_State();
        for (int i = 0; i < kv.TWAIN_GetNumDibs(); ++i) kv.TWAIN_FreeNative(kv.TWAIN_GetDib(i));

        WriteBytes(ini, "[Scanner]\r\nWidth=64\r\nHeight=40\r\n");
        const Acquisition normal = Acquire(kv);
        const bool normalWorks = normal.result && normal.dibs == 1 && kv.TWAIN_State() == 1;
        if (normal.result) kv.TWAIN_FreeNative(normal.result);

        EXPECT_TRUE(outcome.asExpected) << row.fault << ": " << outcome.seen;
        EXPECT_EQ(stateAfter, 1) << row.fault;
        EXPECT_TRUE(normalWorks) << row.fault << ": then " << Describe(normal);
        table += std::string("| ") + row.fault + " | " + row.expected + " | " + outcome.seen +
                 (outcome.asExpected ? "" : " (NOT AS EXPECTED)") + " | " + std::to_string(stateAfter) + " | " +
                 (normalWorks ? "works" : "FAILS") + " |\n";
    }
    std::printf("\n%s\n", table.c_str());
    std::fflush(stdout);
    EXPECT_TRUE(host.faults.empty());
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
}

}  // namespace
}  // namespace kavrel::test
