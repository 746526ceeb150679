// The Kavrel virtual scanner: a TWAIN Data Source without hardware. It answers identity,
// open and close, the capabilities and image layout an application negotiates
// (scanner_capabilities.h), enabling with or without its own small window, and native transfers
// of test-pattern or file pages, several from a "feeder", at the resolution and in the frame set.
// Which triplet it takes in which state is one table (source_states.h). Its faults on demand are
// set in its settings file (scanner_settings.h).
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/no_throw.h"
#include "base/this_module.h"
#include "base/win_handles.h"
#include "tools/virtual_scanner/scanner_capabilities.h"
#include "tools/virtual_scanner/scanner_settings.h"
#include "tools/virtual_scanner/source_states.h"
#include "tools/virtual_scanner/test_pattern.h"
#include "layout/dib_layout.h"
#include "twain/twain_protocol.h"

using namespace twain;
using namespace kavrel::vscan;

namespace {

constexpr char kProductName[] = "Kavrel Virtual Scanner";
constexpr char kWindowClass[] = "KavrelVirtualScanner";
constexpr int kScanButton = 1;
constexpr int kCancelButton = 2;

struct Source {
    int state = kSourceClosed;
    TW_IDENTITY identity{};
    TW_IDENTITY application{};
    TW_UINT16 conditionCode = TWCC_SUCCESS;
    ScannerCapabilities capabilities;
    ScannerSettings settings;  // read at every enabling
    int pagesLeft = 0;
    int batchPages = 0;  // the pages of the batch as it started (PendingNeverFalls answers this)
    int pageNumber = 0;  // of the batch
    int failuresLeft = 0;
    // The next page, made when it is first described or handed over, so that DAT_IMAGEINFO says
    // what the transfer delivers; its description stays until the end of its transfer.
    kavrel::GlobalBlock page;
    bool pageDescribed = false;
    TW_IMAGEINFO pageInfo{};
    HWND window = nullptr;
};

Source& TheSource() {
    static Source source;
    return source;
}

PixelKind CurrentKind(const Source& s) {
    switch (s.capabilities.PixelType()) {
    case TWPT_BW: return PixelKind::BlackAndWhite;
    case TWPT_GRAY: return PixelKind::Grey;
    default: return PixelKind::Colour;
    }
}

// The pattern's size in pixels is its size at the scanner's own 200 dpi.
constexpr int kPatternDpi = 200;

int PatternPixels(int pixelsAtOwnDpi, int dpi) {
    return std::max(1, static_cast<int>((static_cast<long long>(pixelsAtOwnDpi) * dpi + kPatternDpi / 2) / kPatternDpi));
}

// The page the settings describe: the pattern at any resolution of the range, a stored image at its
// own. An image that cannot be read is described as the pattern would be (its transfer fails).
PageSpace PageOf(const ScannerSettings& settings) {
    PageSpace page;
    page.widthInches = static_cast<double>(settings.width) / kPatternDpi;
    page.heightInches = static_cast<double>(settings.height) / kPatternDpi;
    if (settings.imageFile.empty()) return page;
    std::string whyNot;
    kavrel::GlobalBlock image(LoadBitmapFileDib(settings.imageFile, &whyNot));
    kavrel::GlobalLockGuard locked(image.get());
    const auto layout = locked ? kavrel::layout::InspectDib(locked.bytes(), locked.size()) : std::nullopt;
    if (!layout) return page;
    BITMAPINFOHEADER header{};
    std::memcpy(&header, locked.data(), sizeof header);
    const int xDpi = DpiOfPelsPerMetre(header.biXPelsPerMeter);
    const int yDpi = DpiOfPelsPerMetre(header.biYPelsPerMeter);
    page.widthInches = static_cast<double>(layout->width) / xDpi;
    page.heightInches = static_cast<double>(layout->height < 0 ? -layout->height : layout->height) / yDpi;
    page.x = {xDpi, xDpi, xDpi};
    page.y = {yDpi, yDpi, yDpi};
    page.wholePageOnly = !CanCropDib(*layout);
    return page;
}

TW_UINT16 Fail(Source& s, TW_UINT16 condition) {
    s.conditionCode = condition;
    return TWRC_FAILURE;
}

// --- telling the application through the manager -----------------------------------------------

void NotifyApplication(TW_UINT16 message) {
    Source& s = TheSource();
    HMODULE manager = ::GetModuleHandleA("TWAIN_32.DLL");
    auto entry = manager ? reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(
                               ::GetProcAddress(manager, "DSM_Entry")))
                         : nullptr;
    if (entry) entry(&s.identity, &s.application, DG_CONTROL, DAT_NULL, message, nullptr);
}

// The pages one batch holds: the feeder's, as far as the transfer count allows.
int FeederPages(Source& s) {
    if (s.settings.endlessBatch) return s.settings.pages;  // the count is not looked at
    const TW_INT32 count = s.capabilities.TransferCount();
    return count > 0 ? std::min(s.settings.pages, count) : s.settings.pages;
}

void DropPage(Source& s) {
    s.page.reset();
    s.pageDescribed = false;
}

// A batch starts (Scan pressed, or enabled without the interface): the feeder is filled and the
// source says "transfer ready" on its way from state 5 to 6 (ReadyTwice says it a second time,
// in state 6, breaking the rule it exists to break). An empty feeder starts nothing.
bool StartBatch(Source& s) {
    if (s.state != kSourceEnabled || FeederPages(s) <= 0) return false;
    s.pagesLeft = FeederPages(s);
    s.batchPages = s.pagesLeft;
    s.pageNumber = 0;
    DropPage(s);
    s.state = kTransferReady;
    NotifyApplication(MSG_XFERREADY);
    if (s.settings.readyTwice) NotifyApplication(MSG_XFERREADY);
    return true;
}

// The page as a GDI bitmap rather than a DIB in a memory block: a DIB section with its rows
// top-down, or a device-dependent bitmap of the screen. Null when it cannot be made.
HANDLE PageAsBitmap(HGLOBAL page, bool section) {
    kavrel::GlobalBlock owned(page);
    kavrel::GlobalLockGuard locked(page);
    if (!locked) return nullptr;
    const auto* info = static_cast<const BITMAPINFO*>(locked.data());
    const auto layout = kavrel::layout::InspectDib(locked.bytes(), locked.size());
    if (!layout) return nullptr;
    const std::uint8_t* bits = locked.bytes() + layout->bitsOffset;
    // A page read from a file may store its rows top-down (a negative height): the bitmap has the
    // page's number of rows either way, and each row is taken from where the page keeps it.
    const int rows = layout->height < 0 ? -layout->height : layout->height;
    kavrel::WindowDc screen(nullptr);
    if (!section) {
        HBITMAP ddb = ::CreateCompatibleBitmap(screen.get(), layout->width, rows);
        // SetDIBits reads the rows in the order the header's height gives.
        if (ddb && ::SetDIBits(screen.get(), ddb, 0, static_cast<UINT>(rows), bits, info, DIB_RGB_COLORS) == 0) {
            ::DeleteObject(ddb);
            return nullptr;
        }
        return ddb;
    }
    std::vector<std::uint8_t> header(locked.bytes(), locked.bytes() + layout->bitsOffset);
    reinterpret_cast<BITMAPINFOHEADER*>(header.data())->biHeight = -rows;  // top-down
    void* sectionBits = nullptr;
    HBITMAP dib = ::CreateDIBSection(screen.get(), reinterpret_cast<const BITMAPINFO*>(header.data()),
                                     DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    if (!dib || !sectionBits) return dib;
    const auto stride = static_cast<std::size_t>(kavrel::layout::DibRowBytes(layout->width, layout->bitCount));
    const bool bottomUp = layout->height > 0;
    for (int y = 0; y < rows; ++y) {
        const int from = bottomUp ? rows - 1 - y : y;
        std::memcpy(static_cast<std::uint8_t*>(sectionBits) + stride * static_cast<std::size_t>(y),
                    bits + stride * static_cast<std::size_t>(from), stride);
    }
    return dib;
}

// What a faulty driver hands over as a transferred image.
HANDLE FaultyImage(const std::string& kind, HGLOBAL page) {
    if (kind == "dibsection" || kind == "bitmap") return PageAsBitmap(page, kind == "dibsection");
    kavrel::GlobalBlock unused(page);
    if (kind == "unlockable") {
        // A movable block of no bytes is discarded at once: it cannot be locked.
        return ::GlobalAlloc(GMEM_MOVEABLE, 0);
    }
    // A header and as many pixel bytes as the header's rows need ("lying": none), no colour table.
    LONG width = 0;
    LONG height = 0;
    WORD bitCount = 24;
    bool withPixels = true;
    if (kind == "lying") {
        width = height = 1000;  // a colour page of 1000 x 1000 pixels in a block of its header
        withPixels = false;
    } else if (kind == "nopalette" || kind == "deep") {
        kavrel::GlobalLockGuard pageBytes(unused.get());
        const auto layout = pageBytes ? kavrel::layout::InspectDib(pageBytes.bytes(), pageBytes.size()) : std::nullopt;
        if (!layout) return nullptr;
        width = layout->width;
        height = layout->height;
        bitCount = kind == "deep" ? 48 : 1;
    } else if (kind != "empty") {
        return nullptr;  // "null"
    }
    const std::uint64_t pixelBytes =
        withPixels ? kavrel::layout::DibRowBytes(width, bitCount) * static_cast<std::uint64_t>(height < 0 ? -height : height) : 0;
    HGLOBAL block = ::GlobalAlloc(GHND, static_cast<SIZE_T>(sizeof(BITMAPINFOHEADER) + pixelBytes));
    kavrel::GlobalLockGuard locked(block);
    if (!locked) return block;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biSizeImage = static_cast<DWORD>(pixelBytes);
    std::memcpy(locked.data(), &header, sizeof header);
    return block;
}

// --- the scanner's own window ----------------------------------------------------------------------

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return kavrel::NoThrow(LRESULT{0}, [&]() -> LRESULT {
        switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kScanButton) {
                // Scan acts only while the source waits for a batch: pressed again during one,
                // or with an empty feeder, it does nothing.
                StartBatch(TheSource());
                return 0;
            }
            if (LOWORD(wParam) == kCancelButton) {
                NotifyApplication(MSG_CLOSEDSREQ);
                return 0;
            }
            break;
        case WM_CLOSE:
            NotifyApplication(MSG_CLOSEDSREQ);
            return 0;
        default:
            break;
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    });
}

// The window's class lives as long as the window: a manager may unload the source once it is
// closed, and a class left registered would keep the window procedure of the unloaded code.
HWND CreateScannerWindow(HWND owner, const ScannerSettings& settings) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = kavrel::ThisModule();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    HWND window = ::CreateWindowExA(WS_EX_DLGMODALFRAME, kWindowClass, kProductName,
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, CW_USEDEFAULT,
                                    CW_USEDEFAULT, 320, 150, ::IsWindow(owner) ? owner : nullptr,
                                    nullptr, kavrel::ThisModule(), nullptr);
    if (!window) return nullptr;
    const std::string what = settings.imageFile.empty()
                                 ? "Test pattern " + std::to_string(settings.width) + " x " +
                                       std::to_string(settings.height) + ", " +
                                       std::to_string(settings.pages) + " page(s)"
                                 : "Image " + settings.imageFile;
    auto child = [&](const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id) {
        HWND c = ::CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), kavrel::ThisModule(), nullptr);
        ::SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    };
    child("STATIC", what.c_str(), SS_LEFT, 10, 10, 290, 40, -1);
    child("BUTTON", "Scan", BS_DEFPUSHBUTTON | WS_TABSTOP, 110, 70, 90, 26, kScanButton);
    child("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 210, 70, 90, 26, kCancelButton);
    return window;
}

void CloseScannerWindow(Source& s) {
    if (s.window) ::DestroyWindow(s.window);
    s.window = nullptr;
    ::UnregisterClassA(kWindowClass, kavrel::ThisModule());
}

// --- enabling and transfers --------------------------------------------------------------------------

TW_UINT16 Enable(Source& s, TW_USERINTERFACE* ui) {
    if (!ui) return Fail(s, TWCC_BADVALUE);
    s.settings = ReadScannerSettings();
    if (s.settings.failEnable || !s.settings.unusable.empty()) return Fail(s, TWCC_OPERATIONERROR);
    s.pagesLeft = 0;
    s.failuresLeft = s.settings.failTransfers;
    if (s.settings.enableAnswer == "cancel") return TWRC_CANCEL;  // closed again at once
    // Without its interface the scanner scans at once; with an empty feeder nothing would ever
    // follow the enabling, and the application would wait for ever.
    if (!ui->ShowUI && !s.settings.closeRequest && FeederPages(s) <= 0) return Fail(s, TWCC_OPERATIONERROR);
    if (ui->ShowUI && !s.settings.closeRequest) {
        s.window = CreateScannerWindow(static_cast<HWND>(ui->hParent), s.settings);
        if (!s.window) return Fail(s, TWCC_LOWMEMORY);
    }
    s.state = kSourceEnabled;
    if (s.settings.closeRequest) {
        NotifyApplication(MSG_CLOSEDSREQ);
    } else if (!ui->ShowUI) {
        StartBatch(s);
    }
    return s.settings.enableAnswer == "checkstatus" ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
}

void Disable(Source& s) {
    CloseScannerWindow(s);
    DropPage(s);
    s.pagesLeft = 0;
    s.state = kSourceOpen;
}

// The page as scanned: the pattern at the resolution set, or the stored image as it is.
TW_UINT16 ScanPage(Source& s) {
    if (s.settings.imageFile.empty()) {
        const int xDpi = s.capabilities.XDpi();
        const int yDpi = s.capabilities.YDpi();
        s.page.reset(MakePatternDib(PatternPixels(s.settings.width, xDpi), PatternPixels(s.settings.height, yDpi),
                                    CurrentKind(s), s.pageNumber, xDpi, yDpi));
        return s.page ? TWRC_SUCCESS : Fail(s, TWCC_LOWMEMORY);
    }
    std::string whyNot;
    s.page.reset(LoadBitmapFileDib(s.settings.imageFile, &whyNot));
    return s.page ? TWRC_SUCCESS : Fail(s, TWCC_OPERATIONERROR);
}

// The page cut to the frame set, at the page's own resolution. A frame of the whole page leaves
// it as it is (a stored image is then delivered byte for byte); so does a compressed image, which
// is not cut (its image information says what is delivered).
TW_UINT16 CutToFrame(Source& s) {
    HGLOBAL cut = nullptr;
    {
        kavrel::GlobalLockGuard locked(s.page.get());
        const auto layout = locked ? kavrel::layout::InspectDib(locked.bytes(), locked.size()) : std::nullopt;
        if (!layout) return Fail(s, TWCC_OPERATIONERROR);
        BITMAPINFOHEADER header{};
        std::memcpy(&header, locked.data(), sizeof header);
        const int rows = layout->height < 0 ? -layout->height : layout->height;
        const auto pixel = [](double inches, int dpi, int most) {
            return static_cast<int>(std::clamp<long>(std::lround(inches * dpi), 0, most));
        };
        const FrameInches& frame = s.capabilities.Frame();
        const PageSpace& page = s.capabilities.Page();
        const int xDpi = DpiOfPelsPerMetre(header.biXPelsPerMeter);
        const int yDpi = DpiOfPelsPerMetre(header.biYPelsPerMeter);
        // A frame reaching the page's right or bottom edge takes the page's last column or row,
        // however the page's size in inches rounds to pixels.
        constexpr double kEdge = 1e-4;
        const int left = std::min(pixel(frame.left, xDpi, layout->width), layout->width - 1);
        const int top = std::min(pixel(frame.top, yDpi, rows), rows - 1);
        const int right = frame.right >= page.widthInches - kEdge ? layout->width
                                                                  : std::max(pixel(frame.right, xDpi, layout->width), left + 1);
        const int bottom = frame.bottom >= page.heightInches - kEdge ? rows : std::max(pixel(frame.bottom, yDpi, rows), top + 1);
        if (left == 0 && top == 0 && right == layout->width && bottom == rows) return TWRC_SUCCESS;
        if (!CanCropDib(*layout)) return TWRC_SUCCESS;
        cut = CropDib(locked.bytes(), locked.size(), left, top, right - left, bottom - top);
        if (!cut) return Fail(s, TWCC_LOWMEMORY);
    }
    s.page.reset(cut);
    return TWRC_SUCCESS;
}

// Makes the next page and its description (kept in the source until the end of its transfer).
TW_UINT16 PreparePage(Source& s) {
    if (s.pageDescribed) return TWRC_SUCCESS;
    if (const TW_UINT16 result = ScanPage(s); result != TWRC_SUCCESS) return result;
    if (const TW_UINT16 result = CutToFrame(s); result != TWRC_SUCCESS) {
        s.page.reset();
        return result;
    }
    kavrel::GlobalLockGuard locked(s.page.get());
    const auto layout = locked ? kavrel::layout::InspectDib(locked.bytes(), locked.size()) : std::nullopt;
    if (!layout) {
        s.page.reset();
        return Fail(s, TWCC_OPERATIONERROR);
    }
    BITMAPINFOHEADER header{};  // for the resolution, which an old core header does not give
    if (layout->headerSize >= sizeof header) std::memcpy(&header, locked.data(), sizeof header);
    TW_IMAGEINFO& info = s.pageInfo;
    info = TW_IMAGEINFO{};
    info.XResolution.Whole = static_cast<TW_INT16>(DpiOfPelsPerMetre(header.biXPelsPerMeter));
    info.YResolution.Whole = static_cast<TW_INT16>(DpiOfPelsPerMetre(header.biYPelsPerMeter));
    info.ImageWidth = layout->width;
    info.ImageLength = layout->height < 0 ? -layout->height : layout->height;
    info.BitsPerPixel = static_cast<TW_INT16>(layout->bitCount);
    if (layout->bitCount > 8) {
        info.PixelType = TWPT_RGB;
        info.SamplesPerPixel = 3;
        for (int i = 0; i < 3; ++i) info.BitsPerSample[i] = layout->bitCount == 16 ? 5 : 8;
    } else {
        // Grey when every colour of the table is a grey, black and white for one such bit.
        const auto* table = reinterpret_cast<const RGBQUAD*>(locked.bytes() + layout->colorTableOffset);
        bool grey = true;
        for (int i = 0; i < layout->colorCount; ++i) {
            grey = grey && table[i].rgbRed == table[i].rgbGreen && table[i].rgbGreen == table[i].rgbBlue;
        }
        info.PixelType = !grey ? TWPT_PALETTE : layout->bitCount == 1 ? TWPT_BW : TWPT_GRAY;
        info.SamplesPerPixel = 1;
        info.BitsPerSample[0] = static_cast<TW_INT16>(layout->bitCount);
    }
    s.pageDescribed = true;
    return TWRC_SUCCESS;
}

// State 6 with an empty feeder: only PendingNeverFalls leaves the source there.
bool FeederEmpty(Source& s) {
    if (s.pagesLeft > 0) return false;
    Fail(s, TWCC_SEQERROR);
    return true;
}

TW_UINT16 DescribePage(Source& s, TW_IMAGEINFO* info) {
    if (!info) return Fail(s, TWCC_BADVALUE);
    if (s.state == kTransferReady && FeederEmpty(s)) return TWRC_FAILURE;
    // In state 7 the page is described as it was handed over (or cancelled).
    if (const TW_UINT16 result = PreparePage(s); result != TWRC_SUCCESS) return result;
    *info = s.pageInfo;
    return TWRC_SUCCESS;
}

TW_UINT16 TransferNative(Source& s, TW_UINT32* handle) {
    if (!handle) return Fail(s, TWCC_BADVALUE);
    if (FeederEmpty(s)) return TWRC_FAILURE;
    if (s.failuresLeft != 0) {
        if (s.failuresLeft > 0) --s.failuresLeft;
        return Fail(s, TWCC_OPERATIONERROR);
    }
    if (s.settings.cancel) {
        s.state = kTransferring;
        return TWRC_CANCEL;
    }
    if (const TW_UINT16 result = PreparePage(s); result != TWRC_SUCCESS) return result;
    HANDLE image = s.page.release();
    // Deliver= hands over something else than the page it describes: that is its fault.
    if (!s.settings.deliver.empty()) image = FaultyImage(s.settings.deliver, image);
    *handle = static_cast<TW_UINT32>(reinterpret_cast<std::uintptr_t>(image));
    s.state = kTransferring;
    return TWRC_XFERDONE;
}

TW_UINT16 EndTransfer(Source& s, TW_UINT16 msg, TW_PENDINGXFERS* pending) {
    if (!pending) return Fail(s, TWCC_BADVALUE);
    DropPage(s);
    if (msg == MSG_ENDXFER) {
        if (s.pagesLeft > 0 && !s.settings.endlessBatch) --s.pagesLeft;
        ++s.pageNumber;
    } else {
        s.pagesLeft = 0;
    }
    bool closeNow = false;
    if (s.settings.closeAfterPages > 0 && s.pageNumber == s.settings.closeAfterPages && s.pagesLeft > 0) {
        // The feeder stops in the middle of a batch.
        s.pagesLeft = 0;
        closeNow = true;
    }
    pending->Count = static_cast<TW_UINT16>(s.pagesLeft);
    if (msg == MSG_ENDXFER && s.settings.endlessBatch && s.pagesLeft > 0 && !closeNow) {
        pending->Count = static_cast<TW_UINT16>(-1);  // "more, how many unknown", for ever
    }
    if (msg == MSG_ENDXFER && s.settings.pendingNeverFalls && s.batchPages > 0 && !closeNow) {
        pending->Count = static_cast<TW_UINT16>(s.batchPages);  // and the transfers after the last page fail
    }
    s.state = pending->Count > 0 ? kTransferReady : kSourceEnabled;
    // Without a window the operator has no other way out once a batch is over (a driver that
    // withholds the request leaves it to the application to see that the batch is over).
    if (closeNow || (s.state == kSourceEnabled && !s.window && !s.settings.withholdCloseRequest)) {
        NotifyApplication(MSG_CLOSEDSREQ);
    }
    // A driver that takes the step but answers it as a failure: the application's way down
    // (disable, close) then still finds the source where the standard says it is.
    if ((msg == MSG_ENDXFER && s.settings.refuseEndTransfer) || (msg == MSG_RESET && s.settings.refuseReset)) {
        return Fail(s, TWCC_OPERATIONERROR);
    }
    return TWRC_SUCCESS;
}

void FillIdentity(TW_IDENTITY* id) {
    id->Version.MajorNum = 1;
    id->Version.MinorNum = 0;
    id->Version.Language = TWLG_USA;
    id->Version.Country = TWCY_USA;
    std::strcpy(id->Version.Info, "1.0");
    id->ProtocolMajor = kProtocolMajor;
    id->ProtocolMinor = kProtocolMinor;
    id->SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(id->Manufacturer, "Kavrel");
    std::strcpy(id->ProductFamily, "Virtual Scanner");
    std::strcpy(id->ProductName, kProductName);
}

TW_UINT16 Open(Source& s, TW_IDENTITY* origin, TW_IDENTITY* id) {
    // A driver that waits for ever for its device: the opening never comes back.
    const ScannerSettings settings = ReadScannerSettings();
    if (settings.hangOnOpen) {
        for (;;) ::Sleep(INFINITE);
    }
    // Settings that were asked for but cannot be read are not replaced by others unnoticed.
    if (!settings.unusable.empty()) return Fail(s, TWCC_OPERATIONERROR);
    // Capabilities are negotiated before the enabling reads the settings again.
    s.settings = settings;
    FillIdentity(id);
    s.identity = *id;
    if (origin) s.application = *origin;
    s.state = kSourceOpen;
    s.capabilities.Reset(PageOf(settings));
    return TWRC_SUCCESS;
}

// A triplet of the state table, in one of its states.
TW_UINT16 Handle(Source& s, TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    switch (dat) {
    case DAT_IDENTITY:
        if (!data) return Fail(s, TWCC_BADVALUE);
        if (msg == MSG_OPENDS) return Open(s, origin, static_cast<TW_IDENTITY*>(data));
        if (msg == MSG_CLOSEDS) {
            Disable(s);
            s.state = kSourceClosed;
            return TWRC_SUCCESS;
        }
        FillIdentity(static_cast<TW_IDENTITY*>(data));
        return TWRC_SUCCESS;
    case DAT_STATUS:
        if (!data) return Fail(s, TWCC_BADVALUE);
        static_cast<TW_STATUS*>(data)->ConditionCode = s.conditionCode;
        s.conditionCode = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    case DAT_CAPABILITY: {
        if (!data) return Fail(s, TWCC_BADVALUE);
        const NegotiationQuirks quirks{s.settings.setOneValueOnly, s.settings.getOneValue};
        return s.capabilities.Handle(msg, *static_cast<TW_CAPABILITY*>(data), quirks, s.conditionCode);
    }
    case DAT_IMAGELAYOUT:
        if (!data) return Fail(s, TWCC_BADVALUE);
        return s.capabilities.Layout(msg, *static_cast<TW_IMAGELAYOUT*>(data), static_cast<TW_UINT32>(s.pageNumber + 1),
                                     s.conditionCode);
    case DAT_USERINTERFACE:
        if (msg == MSG_ENABLEDS) return Enable(s, static_cast<TW_USERINTERFACE*>(data));
        Disable(s);
        return TWRC_SUCCESS;
    case DAT_EVENT:
        // The window's messages are the application's to dispatch; nothing is kept back.
        if (!data) return Fail(s, TWCC_BADVALUE);
        static_cast<TW_EVENT*>(data)->TWMessage = MSG_NULL;
        return TWRC_NOTDSEVENT;
    case DAT_PENDINGXFERS:
        return EndTransfer(s, msg, static_cast<TW_PENDINGXFERS*>(data));
    case DAT_IMAGEINFO:
        return DescribePage(s, static_cast<TW_IMAGEINFO*>(data));
    case DAT_IMAGENATIVEXFER:
        return TransferNative(s, static_cast<TW_UINT32*>(data));
    default:
        return Fail(s, TWCC_BADPROTOCOL);
    }
}

}  // namespace

extern "C" __declspec(dllexport) TW_UINT16 WINAPI DS_Entry(TW_IDENTITY* origin, TW_UINT32 dg,
                                                           TW_UINT16 dat, TW_UINT16 msg,
                                                           TW_MEMREF data) {
    Source& s = TheSource();
    // Whatever goes wrong inside (memory, a settings file) is a failure the manager can report.
    return kavrel::NoThrowOr(
        [&]() -> TW_UINT16 {
            // A condition code belongs to the triplet that failed: the next one starts without it.
            if (dat != DAT_STATUS) s.conditionCode = TWCC_SUCCESS;
            const TripletStates* row = FindTripletStates(dg, dat, msg);
            if (!row) return Fail(s, dat == DAT_CAPABILITY ? TWCC_CAPBADOPERATION : TWCC_BADPROTOCOL);
            if (!row->AllowedIn(s.state)) return Fail(s, row->refusal);
            return Handle(s, origin, dat, msg, data);
        },
        [&]() -> TW_UINT16 { return Fail(s, TWCC_LOWMEMORY); });
}
