// Acquisition end to end through Wine's own TWAIN manager and the virtual scanner: source
// selection in the manager's real dialog, the scanner's window, feeder pages, pixel types,
// cancelling, close requests and quitting.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "support/dib_builder.h"
#include "support/kavrel_api.h"
#include "support/test_support.h"
#include "support/window_driver.h"
#include "tools/virtual_scanner/test_pattern.h"
#include "twain/twain_protocol.h"

namespace kavrel::test {
namespace {

using namespace twain;

constexpr char kScannerClass[] = "KavrelVirtualScanner";

// The manager's source-selection dialog: a dialog with a list box of sources.
std::vector<std::string> SourcesListed(HWND dialog) {
    std::vector<std::string> names;
    HWND list = ::FindWindowExA(dialog, nullptr, "ListBox", nullptr);
    if (!list) return names;
    const auto count = ::SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char name[256] = {};
        ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
        names.emplace_back(name);
    }
    return names;
}

class WineTwain : public ::testing::Test {
protected:
    WineTwain() {
        ini = scratch / "virtual-scanner.ini";
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
        Settings("");
    }
    ~WineTwain() override {
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
        for (int i = 0; i < kv.TWAIN_GetNumDibs(); ++i) kv.TWAIN_FreeNative(kv.TWAIN_GetDib(i));
    }
    void Settings(const std::string& lines) { WriteBytes(ini, "[Scanner]\r\nWidth=64\r\nHeight=40\r\n" + lines); }

    // Whether a DIB holds the scanner's test pattern of the given page.
    static void ExpectPattern(HANDLE dib, vscan::PixelKind kind, int page) {
        const auto bytes = BytesOf(static_cast<HGLOBAL>(dib));
        ASSERT_GE(bytes.size(), 40u);
        BITMAPINFOHEADER h;
        std::memcpy(&h, bytes.data(), sizeof h);
        const int bits = kind == vscan::PixelKind::Colour ? 24 : kind == vscan::PixelKind::Grey ? 8 : 1;
        ASSERT_EQ(h.biBitCount, bits);
        ASSERT_EQ(h.biWidth, 64);
        ASSERT_EQ(h.biHeight, 40);
        const std::size_t colours = bits == 24 ? 0 : (1u << bits);
        const std::uint8_t* rows = bytes.data() + 40 + 4 * colours;
        const std::size_t stride = RowBytes(64, bits);
        for (int y = 0; y < 40; ++y) {
            const std::uint8_t* row = rows + stride * static_cast<std::size_t>(39 - y);
            for (int x = 0; x < 64; ++x) {
                if (bits == 24) {
                    const auto c = vscan::PatternColour(x, y, 64, 40, page);
                    ASSERT_EQ(row[3 * x + 2], c.red) << x << "," << y;
                    ASSERT_EQ(row[3 * x + 1], c.green) << x << "," << y;
                    ASSERT_EQ(row[3 * x], c.blue) << x << "," << y;
                } else if (bits == 8) {
                    ASSERT_EQ(row[x], vscan::PatternGrey(x, y, 64, 40, page)) << x << "," << y;
                } else {
                    const bool white = (row[x / 8] >> (7 - x % 8)) & 1;
                    ASSERT_EQ(white, vscan::PatternWhite(x, y, 64, 40, page)) << x << "," << y;
                }
            }
        }
    }

    ScratchDir scratch;
    std::string ini;
    KavrelApi kv{true};
};

TEST_F(WineTwain, TheManagersDialogListsTheVirtualScannerAndOkChoosesIt) {
    std::vector<std::string> listed;
    WindowWatcher watcher([&](const SeenWindow& w) {
        if (w.className != "#32770" || !::FindWindowExA(w.window, nullptr, "ListBox", nullptr)) return 0;
        listed = SourcesListed(w.window);
        return IDOK;
    });
    EXPECT_EQ(kv.TWAIN_SelectImageSource(nullptr), 1);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.front(), "Kavrel Virtual Scanner");
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_EQ(::FindWindowA("Static", "Acquire Proxy"), nullptr);
}

TEST_F(WineTwain, CancelInTheManagersDialogChoosesNothing) {
    WindowWatcher watcher([](const SeenWindow& w) {
        return w.className == "#32770" && ::FindWindowExA(w.window, nullptr, "ListBox", nullptr) ? IDCANCEL : 0;
    });
    EXPECT_EQ(kv.TWAIN_SelectImageSource(nullptr), 0);
    EXPECT_EQ(watcher.Dialogs().size(), 1u);
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

TEST_F(WineTwain, WithItsInterfaceHiddenTheScannerScansAtOnce) {
    WindowWatcher watcher;  // nothing should appear; any box is answered and would fail below
    kv.TWAIN_SetHideUI(1);
    HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 1);
    ExpectPattern(dib, vscan::PixelKind::Colour, 0);
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_TRUE(watcher.Answered().empty());
}

TEST_F(WineTwain, WithItsInterfaceShownTheOperatorPressesScan) {
    HWND owner = nullptr;
    bool ownerDisabled = false;
    std::string ownerCaption;
    WindowWatcher watcher([&](const SeenWindow& w) {
        if (w.className != kScannerClass) return 0;
        owner = ::GetWindow(w.window, GW_OWNER);
        ownerDisabled = owner && !::IsWindowEnabled(owner);
        ownerCaption = Inspect(owner).caption;
        ::PostMessageA(w.window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);  // Scan
        return 1;
    });
    HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ExpectPattern(dib, vscan::PixelKind::Colour, 0);
    ASSERT_EQ(watcher.Answered().size(), 1u);
    // The scanner's window belongs to the proxy window, which is disabled during the loop.
    EXPECT_EQ(ownerCaption, "Acquire Proxy");
    EXPECT_TRUE(ownerDisabled);
    EXPECT_FALSE(::IsWindow(owner));
    EXPECT_EQ(::FindWindowA(kScannerClass, nullptr), nullptr) << "closed with the source";
}

std::vector<int> feederIndexes;
void WINAPI FeederCallback(HANDLE, int index) { feederIndexes.push_back(index); }

TEST_F(WineTwain, AFeederDeliversThreePagesInOneBatch) {
    Settings("Pages=3\r\n");
    feederIndexes.clear();
    kv.TWAIN_RegisterCallback(&FeederCallback);
    kv.TWAIN_SetHideUI(1);
    HANDLE last = kv.TWAIN_AcquireNative(nullptr, 0);
    kv.TWAIN_UnRegisterCallback();
    ASSERT_EQ(kv.TWAIN_GetNumDibs(), 3);
    EXPECT_EQ(feederIndexes, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(last, kv.TWAIN_GetDib(2));
    for (int page = 0; page < 3; ++page) ExpectPattern(kv.TWAIN_GetDib(page), vscan::PixelKind::Colour, page);
}

TEST_F(WineTwain, TheMaskChoosesThePixelType) {
    kv.TWAIN_SetHideUI(1);
    HANDLE grey = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_GRAY);
    ASSERT_NE(grey, nullptr);
    ExpectPattern(grey, vscan::PixelKind::Grey, 0);
    kv.TWAIN_FreeNative(grey);
    HANDLE bw = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_BW);
    ASSERT_NE(bw, nullptr);
    ExpectPattern(bw, vscan::PixelKind::BlackAndWhite, 0);
    kv.TWAIN_FreeNative(bw);
    // Several wanted types: the scanner keeps its current one if it is among them.
    HANDLE colour = kv.TWAIN_AcquireNative(nullptr, (1u << TWPT_RGB) | (1u << TWPT_GRAY));
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(kv.TWAIN_DibDepth(colour), 24);
    kv.TWAIN_ClearDibList();
    kv.TWAIN_FreeNative(colour);
}

TEST_F(WineTwain, AnUnofferedPixelTypeIsReported) {
    WindowWatcher watcher;
    kv.TWAIN_SetHideUI(1);
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_PALETTE), nullptr);
    const auto boxes = watcher.Dialogs();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "TWAIN Error");
    EXPECT_NE(boxes[0].text.find("Failed to negotiate Pixel Type."), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("Library error 13"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

TEST_F(WineTwain, CapabilitiesCanBeNegotiatedStepByStep) {
    ASSERT_EQ(kv.TWAIN_OpenSourceManager(nullptr), 1);
    ASSERT_EQ(kv.TWAIN_OpenDefaultSource(), 1);
    EXPECT_EQ(kv.TWAIN_GetPixelType(), TWPT_RGB);
    EXPECT_EQ(kv.TWAIN_GetBitDepth(), 24);
    EXPECT_EQ(kv.TWAIN_SetCurrentPixelType(TWPT_GRAY), 1);
    EXPECT_EQ(kv.TWAIN_GetPixelType(), TWPT_GRAY);
    EXPECT_EQ(kv.TWAIN_GetBitDepth(), 8);
    EXPECT_EQ(kv.TWAIN_SetBitDepth(24), 0) << "grey is 8 bits";
    EXPECT_EQ(kv.TWAIN_SetCurrentUnits(TWUN_PIXELS), 1);
    EXPECT_EQ(kv.TWAIN_GetCurrentUnits(), TWUN_PIXELS);
    EXPECT_EQ(kv.TWAIN_NegotiateXferCount(-1), 1);
    EXPECT_EQ(kv.TWAIN_SetCapOneValue(0x7777, TWTY_UINT16, 1), 0) << "an unknown capability";
    EXPECT_EQ(kv.TWAIN_GetConditionCode(), TWCC_CAPUNSUPPORTED);
    kv.TWAIN_SetHideUI(1);
    ASSERT_EQ(kv.TWAIN_EnableSource(nullptr), 1);
    kv.TWAIN_ModalEventLoop();
    ASSERT_EQ(kv.TWAIN_GetNumDibs(), 1);
    ExpectPattern(kv.TWAIN_GetDib(0), vscan::PixelKind::Grey, 0);
    EXPECT_EQ(kv.TWAIN_State(), 5);
    EXPECT_EQ(kv.TWAIN_CloseSourceManager(nullptr), 1);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);
}

TEST_F(WineTwain, TheOperatorCancellingInTheScannersWindowDeliversNothing) {
    WindowWatcher watcher([](const SeenWindow& w) {
        if (w.className != kScannerClass) return 0;
        ::PostMessageA(w.window, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);  // Cancel
        return 2;
    });
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

TEST_F(WineTwain, ACancelledTransferDeliversNothing) {
    Settings("Cancel=1\r\n");
    kv.TWAIN_SetHideUI(1);
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

TEST_F(WineTwain, ACloseRequestBeforeAnyImageEndsTheAcquisition) {
    Settings("CloseRequest=1\r\n");
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

TEST_F(WineTwain, FailedTransfersAreRetried) {
    Settings("FailTransfers=2\r\n");
    kv.TWAIN_SetHideUI(1);
    HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ExpectPattern(dib, vscan::PixelKind::Colour, 0);
}

TEST_F(WineTwain, AScannerThatCannotBeEnabledIsReported) {
    Settings("FailEnable=1\r\n");
    WindowWatcher watcher;
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    const auto boxes = watcher.Dialogs();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Failed to enable Data Source."), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("condition code 5 (TWCC_OPERATIONERROR)"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

TEST_F(WineTwain, QuittingDuringTheLoopEndsTheAcquisition) {
    const DWORD thread = ::GetCurrentThreadId();
    WindowWatcher watcher([&](const SeenWindow& w) {
        if (w.className != kScannerClass) return 0;
        ::PostThreadMessageA(thread, WM_QUIT, 0, 0);
        return 1;
    });
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_EQ(::FindWindowA(kScannerClass, nullptr), nullptr);
    MSG message;
    EXPECT_FALSE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit was consumed";
}

TEST_F(WineTwain, AnImageFileIsDeliveredAsItIs) {
    const auto dibBytes = DibBytes({23, 11, 8});
    const auto table = dibBytes.begin() + 40, rows = table + 1024;
    WriteBytes(scratch / "page.bmp", BmpFileOf({dibBytes.begin(), table}, {table, rows}, {rows, dibBytes.end()}));
    Settings("Image=" + scratch / "page.bmp" + "\r\n");
    kv.TWAIN_SetHideUI(1);
    HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(BytesOf(static_cast<HGLOBAL>(dib)), dibBytes);
}

// --- acquiring straight to a file or the clipboard ---------------------------------------------

TEST_F(WineTwain, AcquireToFilenameWritesTheImageAndReleasesIt) {
    kv.TWAIN_SetHideUI(1);
    const std::string path = scratch / "scan.bmp";
    EXPECT_EQ(kv.TWAIN_AcquireToFilename(nullptr, path.c_str()), 0);
    HANDLE written = kv.TWAIN_GetDib(0);
    EXPECT_EQ(::GlobalSize(written), 0u) << "the acquired image is released";
    HANDLE back = kv.TWAIN_LoadNativeFromFilename(path.c_str());
    ASSERT_NE(back, nullptr);
    ExpectPattern(back, vscan::PixelKind::Colour, 0);
    kv.TWAIN_FreeNative(back);
    kv.TWAIN_ClearDibList();
}

TEST_F(WineTwain, AcquireToFilenameWithoutAnImageAsksForNoName) {
    Settings("CloseRequest=1\r\n");
    WindowWatcher watcher;
    EXPECT_EQ(kv.TWAIN_AcquireToFilename(nullptr, nullptr), -1);
    EXPECT_TRUE(watcher.Answered().empty()) << "no save dialog";
}

int transfersMade = 0;
void WINAPI CountingCallback(HANDLE, int) { ++transfersMade; }

TEST_F(WineTwain, AcquireToFilenameRefusesANameThatCannotBeWrittenBeforeTheScan) {
    ::CreateDirectoryA((scratch / "a-folder.bmp").c_str(), nullptr);
    WriteBytes(scratch / "read-only.bmp", std::vector<std::uint8_t>(10, 1));
    ::SetFileAttributesA((scratch / "read-only.bmp").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string tooLong = scratch / (std::string(130, 'n') + ".bmp");
    const char* const names[] = {"a folder that is not there", "a directory in its place", "a read-only file",
                                 "too long for the simple file interface"};
    const std::string paths[] = {scratch / "missing\\scan.bmp", scratch / "a-folder.bmp", scratch / "read-only.bmp",
                                 tooLong};
    kv.TWAIN_SetHideUI(1);
    kv.TWAIN_RegisterCallback(&CountingCallback);
    for (std::size_t i = 0; i < std::size(paths); ++i) {
        transfersMade = 0;
        EXPECT_EQ(kv.TWAIN_AcquireToFilename(nullptr, paths[i].c_str()), -2) << names[i];
        EXPECT_EQ(transfersMade, 0) << names[i] << ": the page is not scanned to be lost";
    }
    transfersMade = 0;
    EXPECT_EQ(kv.TWAIN_AcquireToFilename(nullptr, (scratch / "fine.bmp").c_str()), 0);
    EXPECT_EQ(transfersMade, 1);
    kv.TWAIN_UnRegisterCallback();
    ::SetFileAttributesA((scratch / "read-only.bmp").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WineTwain, AcquireToClipboardPlacesTheImageAsCfDib) {
    kv.TWAIN_SetHideUI(1);
    // No window, and a handle whose window is gone: the acquisition runs on its proxy, and the
    // image scanned is placed all the same, not dropped after the scan.
    HWND gone = ::CreateWindowExA(0, "STATIC", "gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ::DestroyWindow(gone);
    for (HWND window : {HWND{nullptr}, gone}) {
        SCOPED_TRACE(window ? "a window that is gone" : "no window");
        EXPECT_EQ(kv.TWAIN_AcquireToClipboard(window, 0), 1);
        EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0) << "the clipboard's block is not the caller's to free";
        ASSERT_TRUE(::OpenClipboard(nullptr));
        EXPECT_TRUE(::IsClipboardFormatAvailable(CF_DIB));
        HANDLE onClipboard = ::GetClipboardData(CF_DIB);
        ASSERT_NE(onClipboard, nullptr);
        // The clipboard owns the block from now on (Wine keeps its own copy and frees it), so only
        // the clipboard's data is read.
        HGLOBAL copy = BlockOf(BytesOf(static_cast<HGLOBAL>(onClipboard)));
        ::CloseClipboard();
        ExpectPattern(copy, vscan::PixelKind::Colour, 0);
        ::GlobalFree(copy);
        ASSERT_TRUE(::OpenClipboard(nullptr));
        ::EmptyClipboard();  // the clipboard frees what it owns
        ::CloseClipboard();
        kv.TWAIN_ClearDibList();
    }
}

TEST_F(WineTwain, AcquireToClipboardWithoutAnImageLeavesTheClipboardAlone) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ::CloseClipboard();
    Settings("CloseRequest=1\r\n");
    EXPECT_EQ(kv.TWAIN_AcquireToClipboard(nullptr, 0), 0);
    EXPECT_FALSE(::IsClipboardFormatAvailable(CF_DIB));
}

// --- the triplet log ---------------------------------------------------------------------------

// The log's lines without their time and thread ("DS  DG_CONTROL DAT_EVENT MSG_PROCESSEVENT ->
// TWRC_NOTDSEVENT, state 5 -> 5"), the form of those two checked on the way (each line by this
// thread). The messages the loop passed to the source that were not the source's are left out:
// how many there are is the desktop's affair.
std::vector<std::string> TripletsLogged(const std::string& path) {
    const auto bytes = ReadBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    const std::regex line(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) thread (\d+) (.*)\r\n)");
    const std::string threadId = std::to_string(::GetCurrentThreadId());
    std::vector<std::string> triplets;
    std::size_t read = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
        EXPECT_EQ(static_cast<std::size_t>(it->position()), read) << "not a line of the log: " << text.substr(read, 80);
        read = static_cast<std::size_t>(it->position() + it->length());
        EXPECT_EQ((*it)[2].str(), threadId);
        // One such message, or a run of them counted in one line ("..., state 5 -> 5, 12 times").
        if ((*it)[3].str().rfind("DS  DG_CONTROL DAT_EVENT MSG_PROCESSEVENT -> TWRC_NOTDSEVENT, state 5 -> 5", 0) != 0) {
            triplets.push_back((*it)[3].str());
        }
    }
    EXPECT_EQ(read, text.size()) << "not a line of the log: " << text.substr(read, 80);
    return triplets;
}

TEST_F(WineTwain, TheTripletLogTellsWhatWasSaidAndChangesNothing) {
    const std::vector<std::string> scanned = {
        "DSM DG_CONTROL DAT_PARENT MSG_OPENDSM -> TWRC_SUCCESS, state 2 -> 3",
        "DSM DG_CONTROL DAT_IDENTITY MSG_GETDEFAULT -> TWRC_SUCCESS, state 3 -> 3",
        "DSM DG_CONTROL DAT_IDENTITY MSG_OPENDS -> TWRC_SUCCESS, state 3 -> 4",
        "DS  DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS -> TWRC_SUCCESS, state 4 -> 5",
        "DS  DG_CONTROL DAT_EVENT MSG_PROCESSEVENT -> TWRC_DSEVENT, state 5 -> 6",
        "DS  DG_IMAGE DAT_IMAGENATIVEXFER MSG_GET -> TWRC_XFERDONE, state 6 -> 7",
        "DS  DG_CONTROL DAT_PENDINGXFERS MSG_ENDXFER -> TWRC_SUCCESS, state 7 -> 5",
        "DS  DG_CONTROL DAT_USERINTERFACE MSG_DISABLEDS -> TWRC_SUCCESS, state 5 -> 4",
        "DSM DG_CONTROL DAT_IDENTITY MSG_CLOSEDS -> TWRC_SUCCESS, state 4 -> 3",
        "DSM DG_CONTROL DAT_PARENT MSG_CLOSEDSM -> TWRC_SUCCESS, state 3 -> 2"};
    enum class Naming { Variable, Registry, EmptyVariableAndRegistry, Unwritable, Full, FullAndRead };
    struct Row {
        const char* how;
        Naming naming;
        std::string scannerSettings;
        std::vector<std::string> expected;  // none: no log
    };
    const Row rows[] = {
        {"named by the variable", Naming::Variable, "", scanned},
        {"named by the registry value, %variables% expanded", Naming::Registry, "", scanned},
        {"an enabling that fails: the library's status question with its condition code, the box as without a log",
         Naming::Variable, "FailEnable=1\r\n",
         {scanned[0], scanned[1], scanned[2], "DS  DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS -> TWRC_FAILURE, state 4 -> 4",
          "DS  DG_CONTROL DAT_STATUS MSG_GET -> TWRC_SUCCESS (TWCC_OPERATIONERROR), state 4 -> 4", scanned[8],
          scanned[9]}},
        {"the variable set empty, over the registry value: no log", Naming::EmptyVariableAndRegistry, "", {}},
        {"a path that cannot be written", Naming::Unwritable, "", {}},
        {"a full file: kept as .1, a new one begun", Naming::Full, "", scanned},
        {"a full file that a reader holds open, sharing writing but not deletion: its lines kept as .1 all the same",
         Naming::FullAndRead, "", scanned},
    };
    const std::string filler(1024 * 1024, 'x');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        Settings(row.scannerSettings);
        const std::string log = scratch / (row.naming == Naming::Unwritable ? "no such folder\\twain.log" : "twain.log");
        ::DeleteFileA(log.c_str());
        const bool full = row.naming == Naming::Full || row.naming == Naming::FullAndRead;
        ::DeleteFileA((log + ".1").c_str());
        if (full) WriteBytes(log, filler);
        // Support's viewer reading the log as the scan runs; one that shares no deletion keeps
        // the file from being renamed.
        HANDLE reader = row.naming == Naming::FullAndRead
                            ? ::CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr)
                            : INVALID_HANDLE_VALUE;
        if (row.naming == Naming::FullAndRead) ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        HKEY key = nullptr;
        if (row.naming == Naming::Registry || row.naming == Naming::EmptyVariableAndRegistry) {
            ::SetEnvironmentVariableA("KAVREL_TEST_LOG_FOLDER", scratch.Path().c_str());
            const std::string value = "%KAVREL_TEST_LOG_FOLDER%\\twain.log";
            ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kavrel", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                        nullptr), ERROR_SUCCESS);
            ::RegSetValueExA(key, "TwainLog", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
            if (row.naming == Naming::EmptyVariableAndRegistry) ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", "");
        } else {
            ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", log.c_str());
        }
        HANDLE dib = nullptr;
        std::vector<SeenWindow> boxes;
        {
            WindowWatcher watcher;
            kv.TWAIN_SetHideUI(1);
            dib = kv.TWAIN_AcquireNative(nullptr, 0);
            boxes = watcher.Dialogs();
        }
        if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);
        ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", nullptr);
        if (key) {
            ::RegDeleteValueA(key, "TwainLog");
            ::RegCloseKey(key);
        }
        EXPECT_EQ(kv.TWAIN_State(), 1);
        if (row.scannerSettings.empty()) {
            ASSERT_NE(dib, nullptr);
            EXPECT_EQ(kv.TWAIN_GetNumDibs(), 1);
            ExpectPattern(dib, vscan::PixelKind::Colour, 0);
            EXPECT_TRUE(boxes.empty());
            kv.TWAIN_ClearDibList();
            kv.TWAIN_FreeNative(dib);
        } else {
            EXPECT_EQ(dib, nullptr);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_NE(boxes[0].text.find("condition code 5 (TWCC_OPERATIONERROR)"), std::string::npos) << boxes[0].text;
        }
        if (row.expected.empty()) {
            EXPECT_FALSE(FileExists(log));
        } else {
            EXPECT_EQ(TripletsLogged(log), row.expected);
        }
        if (full) {
            const auto kept = ReadBytes(log + ".1");
            // Compared whole but not printed: a megabyte in the failure message would drown it.
            EXPECT_TRUE(std::string(kept.begin(), kept.end()) == filler)
                << "the full file kept as it was: " << kept.size() << " bytes kept of " << filler.size();
        }
    }
}

}  // namespace
}  // namespace kavrel::test
