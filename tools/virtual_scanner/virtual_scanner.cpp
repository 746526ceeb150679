// The Kavrel virtual scanner: a TWAIN Data Source without hardware. It answers identity,
// open and close, the capabilities an application negotiates (pixel type, bit depth, units,
// transfer count, transfer mechanism), enabling with or without its own small window, and
// native transfers of test-pattern or file pages, several from a "feeder". Its faults on demand
// are set in its settings file (scanner_settings.h).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/no_throw.h"
#include "base/this_module.h"
#include "base/win_handles.h"
#include "tools/virtual_scanner/scanner_settings.h"
#include "tools/virtual_scanner/test_pattern.h"
#include "layout/dib_layout.h"
#include "twain/capability_containers.h"
#include "twain/twain_protocol.h"

using namespace twain;
using namespace kavrel::vscan;

namespace {

constexpr char kProductName[] = "Kavrel Virtual Scanner";
constexpr char kWindowClass[] = "KavrelVirtualScanner";
constexpr int kScanButton = 1;
constexpr int kCancelButton = 2;

// One capability: its item type, the values it supports, those the application allowed, the
// current and the default value.
struct Capability {
    TW_UINT16 cap;
    TW_UINT16 itemType;
    std::vector<TW_UINT32> supported;
    TW_UINT32 defaultValue;
    bool oneValueOnly = false;
    std::vector<TW_UINT32> allowed;
    TW_UINT32 current = 0;

    void Reset() {
        allowed = supported;
        current = defaultValue;
    }
};

struct Source {
    bool open = false;
    int state = 3;
    TW_IDENTITY identity{};
    TW_IDENTITY application{};
    TW_UINT16 conditionCode = TWCC_SUCCESS;
    std::vector<Capability> capabilities;
    ScannerSettings settings;
    int pagesLeft = 0;
    int batchPages = 0;  // the pages of the batch as enabled (PendingNeverFalls answers this)
    int pageNumber = 0;
    int failuresLeft = 0;
    HWND window = nullptr;
};

Source& TheSource() {
    static Source source;
    return source;
}

Capability MakeCapability(TW_UINT16 cap, TW_UINT16 itemType, std::vector<TW_UINT32> supported,
                          TW_UINT32 defaultValue, bool oneValueOnly = false) {
    Capability c{cap, itemType, std::move(supported), defaultValue, oneValueOnly, {}, 0};
    c.Reset();
    return c;
}

void ResetCapabilities(Source& s) {
    s.capabilities = {
        MakeCapability(ICAP_PIXELTYPE, TWTY_UINT16, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, TWPT_RGB),
        MakeCapability(ICAP_BITDEPTH, TWTY_UINT16, {1, 8, 24}, 24),
        MakeCapability(ICAP_UNITS, TWTY_UINT16, {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PIXELS}, TWUN_INCHES),
        // -1: as many pages as the feeder holds.
        MakeCapability(CAP_XFERCOUNT, TWTY_INT16, {0xFFFFFFFFu}, 0xFFFFFFFFu, true),
        MakeCapability(ICAP_XFERMECH, TWTY_UINT16, {TWSX_NATIVE}, TWSX_NATIVE),
    };
}

Capability* Find(Source& s, TW_UINT16 cap) {
    for (auto& c : s.capabilities) {
        if (c.cap == cap) return &c;
    }
    return nullptr;
}

PixelKind CurrentKind(Source& s) {
    switch (Find(s, ICAP_PIXELTYPE)->current) {
    case TWPT_BW: return PixelKind::BlackAndWhite;
    case TWPT_GRAY: return PixelKind::Grey;
    default: return PixelKind::Colour;
    }
}

TW_UINT32 DepthFor(TW_UINT32 pixelType) {
    return pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
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

// "Transfer ready", once (or twice, for a source that says it twice).
void SignalReady(const Source& s) {
    NotifyApplication(MSG_XFERREADY);
    if (s.settings.readyTwice) NotifyApplication(MSG_XFERREADY);
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
    kavrel::WindowDc screen(nullptr);
    if (!section) {
        HBITMAP ddb = ::CreateCompatibleBitmap(screen.get(), layout->width, layout->height);
        if (ddb && ::SetDIBits(screen.get(), ddb, 0, static_cast<UINT>(layout->height), bits, info,
                               DIB_RGB_COLORS) == 0) {
            ::DeleteObject(ddb);
            return nullptr;
        }
        return ddb;
    }
    std::vector<std::uint8_t> header(locked.bytes(), locked.bytes() + layout->bitsOffset);
    reinterpret_cast<BITMAPINFOHEADER*>(header.data())->biHeight = -layout->height;  // top-down
    void* sectionBits = nullptr;
    HBITMAP dib = ::CreateDIBSection(screen.get(), reinterpret_cast<const BITMAPINFO*>(header.data()),
                                     DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    if (!dib || !sectionBits) return dib;
    const auto stride = static_cast<std::size_t>(kavrel::layout::DibRowBytes(layout->width, layout->bitCount));
    for (int y = 0; y < layout->height; ++y) {
        std::memcpy(static_cast<std::uint8_t*>(sectionBits) + stride * static_cast<std::size_t>(y),
                    bits + stride * static_cast<std::size_t>(layout->height - 1 - y), stride);
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
    if (kind != "lying" && kind != "empty") return nullptr;  // "null"
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(BITMAPINFOHEADER));
    kavrel::GlobalLockGuard locked(block);
    if (!locked) return block;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    // "lying": a colour page of 1000 x 1000 pixels in a block that holds only its header.
    header.biWidth = kind == "lying" ? 1000 : 0;
    header.biHeight = kind == "lying" ? 1000 : 0;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::memcpy(locked.data(), &header, sizeof header);
    return block;
}

// --- the scanner's own window ----------------------------------------------------------------------

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return kavrel::NoThrow(LRESULT{0}, [&]() -> LRESULT {
        switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kScanButton) {
                SignalReady(TheSource());
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

HWND CreateScannerWindow(HWND owner, const ScannerSettings& settings) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &WindowProc;
        wc.hInstance = kavrel::ThisModule();
        wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        registered = ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
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
}

// --- capabilities -------------------------------------------------------------------------------------

HGLOBAL OneValueContainer(TW_UINT16 itemType, TW_UINT32 value) {
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    kavrel::GlobalLockGuard locked(block);
    if (!locked) return block;
    TW_ONEVALUE one{itemType, value};
    std::memcpy(locked.data(), &one, sizeof one);
    return block;
}

HGLOBAL EnumerationContainer(const Capability& c) {
    const std::size_t itemSize = c.itemType == TWTY_INT16 || c.itemType == TWTY_UINT16 ? 2 : 4;
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(TW_ENUMERATION_HEADER) + itemSize * c.allowed.size());
    kavrel::GlobalLockGuard locked(block);
    if (!locked) return block;
    TW_ENUMERATION_HEADER header{};
    header.ItemType = c.itemType;
    header.NumItems = static_cast<TW_UINT32>(c.allowed.size());
    const auto at = std::find(c.allowed.begin(), c.allowed.end(), c.current);
    header.CurrentIndex = static_cast<TW_UINT32>(at - c.allowed.begin());
    const auto def = std::find(c.allowed.begin(), c.allowed.end(), c.defaultValue);
    header.DefaultIndex = def == c.allowed.end() ? 0 : static_cast<TW_UINT32>(def - c.allowed.begin());
    std::memcpy(locked.data(), &header, sizeof header);
    std::uint8_t* items = locked.bytes() + sizeof header;
    for (std::size_t i = 0; i < c.allowed.size(); ++i) std::memcpy(items + i * itemSize, &c.allowed[i], itemSize);
    return block;
}

// The values of a container the application sent; empty when it is not one we read. An
// enumeration's current index goes to `currentIndex`, a one-value container's is 0, an array
// leaves it as it is.
std::vector<TW_UINT32> ContainerValues(const TW_CAPABILITY& cap, TW_UINT32* currentIndex) {
    std::vector<TW_UINT32> values;
    kavrel::GlobalLockGuard locked(cap.hContainer);
    if (!locked) return values;
    const auto view = kavrel::twainlib::ViewContainer(cap.ConType, locked.bytes(), locked.size());
    if (!view) return values;
    if (cap.ConType != TWON_ARRAY) *currentIndex = view->currentIndex;
    for (TW_UINT32 i = 0; i < view->itemsInBlock; ++i) {
        const auto value = kavrel::twainlib::IntegerItem(*view, locked.bytes(), i);
        if (!value) break;
        values.push_back(*value);
    }
    return values;
}

TW_UINT16 SetCapability(Source& s, Capability& c, const TW_CAPABILITY& cap) {
    TW_UINT32 currentIndex = 0xFFFFFFFF;
    const std::vector<TW_UINT32> values = ContainerValues(cap, &currentIndex);
    if (values.empty()) return Fail(s, TWCC_BADVALUE);
    if (c.oneValueOnly) {
        // The transfer count: -1 (all pages) or a positive number of pages.
        const auto count = static_cast<TW_INT32>(values.front());
        if (count == 0 || count < -1) return Fail(s, TWCC_BADVALUE);
        c.current = values.front();
        return TWRC_SUCCESS;
    }
    if (c.cap == ICAP_BITDEPTH) {
        // One depth per pixel type: only the current type's depth can be set.
        if (values.size() != 1 || values.front() != DepthFor(Find(s, ICAP_PIXELTYPE)->current)) {
            return Fail(s, TWCC_BADVALUE);
        }
        c.current = values.front();
        return TWRC_SUCCESS;
    }
    std::vector<TW_UINT32> allowed;
    for (TW_UINT32 v : values) {
        if (std::find(c.supported.begin(), c.supported.end(), v) != c.supported.end() &&
            std::find(allowed.begin(), allowed.end(), v) == allowed.end()) {
            allowed.push_back(v);
        }
    }
    if (allowed.empty()) return Fail(s, TWCC_BADVALUE);
    if (cap.ConType == TWON_ONEVALUE) {
        c.current = allowed.front();
    } else {
        c.allowed = allowed;
        if (currentIndex < values.size() &&
            std::find(allowed.begin(), allowed.end(), values[currentIndex]) != allowed.end()) {
            c.current = values[currentIndex];
        } else if (std::find(allowed.begin(), allowed.end(), c.current) == allowed.end()) {
            c.current = allowed.front();
        }
    }
    if (c.cap == ICAP_PIXELTYPE) Find(s, ICAP_BITDEPTH)->current = DepthFor(c.current);
    return TWRC_SUCCESS;
}

TW_UINT16 HandleCapability(Source& s, TW_UINT16 msg, TW_CAPABILITY* cap) {
    if (!cap) return Fail(s, TWCC_BADVALUE);
    Capability* c = Find(s, cap->Cap);
    if (!c) return Fail(s, TWCC_CAPUNSUPPORTED);
    if (c->cap == ICAP_BITDEPTH) {
        // The depth follows the pixel type.
        c->allowed = {DepthFor(Find(s, ICAP_PIXELTYPE)->current)};
        c->current = c->allowed.front();
    }
    switch (msg) {
    case MSG_GET:
        if (c->oneValueOnly) {
            cap->ConType = TWON_ONEVALUE;
            cap->hContainer = OneValueContainer(c->itemType, c->current);
        } else {
            cap->ConType = TWON_ENUMERATION;
            cap->hContainer = EnumerationContainer(*c);
        }
        return cap->hContainer ? TWRC_SUCCESS : Fail(s, TWCC_LOWMEMORY);
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT:
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = OneValueContainer(c->itemType, msg == MSG_GETCURRENT ? c->current : c->defaultValue);
        return cap->hContainer ? TWRC_SUCCESS : Fail(s, TWCC_LOWMEMORY);
    case MSG_SET:
        if (s.state != 4) return Fail(s, TWCC_SEQERROR);
        return SetCapability(s, *c, *cap);
    case MSG_RESET:
        if (s.state != 4) return Fail(s, TWCC_SEQERROR);
        c->Reset();
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = OneValueContainer(c->itemType, c->current);
        return TWRC_SUCCESS;
    default:
        return Fail(s, TWCC_CAPBADOPERATION);
    }
}

// --- enabling and transfers --------------------------------------------------------------------------

TW_UINT16 Enable(Source& s, TW_USERINTERFACE* ui) {
    if (s.state != 4 || !ui) return Fail(s, TWCC_SEQERROR);
    s.settings = ReadScannerSettings();
    if (s.settings.failEnable) return Fail(s, TWCC_OPERATIONERROR);
    s.pagesLeft = s.settings.pages;
    const auto count = static_cast<TW_INT32>(Find(s, CAP_XFERCOUNT)->current);
    if (count > 0) s.pagesLeft = std::min(s.pagesLeft, count);
    s.batchPages = s.pagesLeft;
    s.pageNumber = 0;
    s.failuresLeft = s.settings.failTransfers;
    if (s.settings.enableAnswer == "cancel") return TWRC_CANCEL;  // closed again at once
    s.state = 5;
    if (s.settings.closeRequest) {
        NotifyApplication(MSG_CLOSEDSREQ);
    } else if (ui->ShowUI) {
        s.window = CreateScannerWindow(static_cast<HWND>(ui->hParent), s.settings);
    } else if (s.pagesLeft > 0) {
        // No window to wait on: the scan starts at once.
        s.state = 6;
        SignalReady(s);
    }
    return s.settings.enableAnswer == "checkstatus" ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
}

TW_UINT16 TransferNative(Source& s, TW_UINT32* handle) {
    if (!handle) return Fail(s, TWCC_BADVALUE);
    if (s.state < 5 || s.pagesLeft <= 0) return Fail(s, TWCC_SEQERROR);
    if (s.failuresLeft != 0) {
        if (s.failuresLeft > 0) --s.failuresLeft;
        return Fail(s, TWCC_OPERATIONERROR);
    }
    s.state = 7;
    if (s.settings.cancel) return TWRC_CANCEL;
    if (!s.settings.deliver.empty()) {
        HGLOBAL page = MakePatternDib(s.settings.width, s.settings.height, CurrentKind(s), s.pageNumber);
        *handle = static_cast<TW_UINT32>(reinterpret_cast<std::uintptr_t>(FaultyImage(s.settings.deliver, page)));
        return TWRC_XFERDONE;
    }
    HGLOBAL dib = nullptr;
    if (!s.settings.imageFile.empty()) {
        std::string whyNot;
        dib = LoadBitmapFileDib(s.settings.imageFile, &whyNot);
        if (!dib) return Fail(s, TWCC_OPERATIONERROR);
    } else {
        dib = MakePatternDib(s.settings.width, s.settings.height, CurrentKind(s), s.pageNumber);
        if (!dib) return Fail(s, TWCC_LOWMEMORY);
    }
    *handle = static_cast<TW_UINT32>(reinterpret_cast<std::uintptr_t>(dib));
    return TWRC_XFERDONE;
}

TW_UINT16 EndTransfer(Source& s, TW_UINT16 msg, TW_PENDINGXFERS* pending) {
    if (!pending) return Fail(s, TWCC_BADVALUE);
    if ((msg == MSG_ENDXFER && s.settings.refuseEndTransfer) || (msg != MSG_ENDXFER && s.settings.refuseReset)) {
        // The fault is in the answer only: without a window the operator still closes it.
        if (!s.window && !s.settings.withholdCloseRequest) NotifyApplication(MSG_CLOSEDSREQ);
        return Fail(s, TWCC_OPERATIONERROR);
    }
    if (msg == MSG_ENDXFER) {
        if (s.state != 7 && s.state != 6) return Fail(s, TWCC_SEQERROR);
        if (s.pagesLeft > 0) --s.pagesLeft;
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
    if (msg == MSG_ENDXFER && s.settings.pendingNeverFalls && s.batchPages > 0 && !closeNow) {
        pending->Count = static_cast<TW_UINT16>(s.batchPages);  // and the transfers after the last page fail
    }
    s.state = pending->Count > 0 ? 6 : 5;
    // Without a window the operator has no other way out once a batch is over (a driver that
    // withholds the request leaves it to the application to see that the batch is over).
    if (closeNow || (s.state == 5 && !s.window && !s.settings.withholdCloseRequest)) {
        NotifyApplication(MSG_CLOSEDSREQ);
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

TW_UINT16 HandleControl(Source& s, TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    switch (dat) {
    case DAT_IDENTITY:
        if (!data) return Fail(s, TWCC_BADVALUE);
        if (msg == MSG_GET) {
            FillIdentity(static_cast<TW_IDENTITY*>(data));
            return TWRC_SUCCESS;
        }
        if (msg == MSG_OPENDS) {
            // A driver that waits for ever for its device: the opening never comes back.
            if (ReadScannerSettings().hangOnOpen) {
                for (;;) ::Sleep(INFINITE);
            }
            if (s.open) return Fail(s, TWCC_MAXCONNECTIONS);
            auto* id = static_cast<TW_IDENTITY*>(data);
            FillIdentity(id);
            s.identity = *id;
            if (origin) s.application = *origin;
            s.open = true;
            s.state = 4;
            s.conditionCode = TWCC_SUCCESS;
            ResetCapabilities(s);
            return TWRC_SUCCESS;
        }
        if (msg == MSG_CLOSEDS) {
            CloseScannerWindow(s);
            s.open = false;
            s.state = 3;
            return TWRC_SUCCESS;
        }
        return Fail(s, TWCC_BADPROTOCOL);
    case DAT_STATUS:
        if (msg != MSG_GET || !data) return Fail(s, TWCC_BADPROTOCOL);
        static_cast<TW_STATUS*>(data)->ConditionCode = s.conditionCode;
        s.conditionCode = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    case DAT_CAPABILITY:
        return HandleCapability(s, msg, static_cast<TW_CAPABILITY*>(data));
    case DAT_USERINTERFACE:
        if (msg == MSG_ENABLEDS) return Enable(s, static_cast<TW_USERINTERFACE*>(data));
        if (msg == MSG_DISABLEDS) {
            if (s.state < 5) return Fail(s, TWCC_SEQERROR);
            CloseScannerWindow(s);
            s.state = 4;
            return TWRC_SUCCESS;
        }
        return Fail(s, TWCC_BADPROTOCOL);
    case DAT_EVENT:
        // The window's messages are the application's to dispatch; nothing is kept back.
        if (msg != MSG_PROCESSEVENT || !data) return Fail(s, TWCC_BADPROTOCOL);
        static_cast<TW_EVENT*>(data)->TWMessage = MSG_NULL;
        return TWRC_NOTDSEVENT;
    case DAT_PENDINGXFERS:
        if (msg == MSG_ENDXFER || msg == MSG_RESET) return EndTransfer(s, msg, static_cast<TW_PENDINGXFERS*>(data));
        return Fail(s, TWCC_BADPROTOCOL);
    default:
        return Fail(s, TWCC_BADPROTOCOL);
    }
}

TW_UINT16 HandleImage(Source& s, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (dat == DAT_IMAGENATIVEXFER && msg == MSG_GET) return TransferNative(s, static_cast<TW_UINT32*>(data));
    if (dat == DAT_IMAGEINFO && msg == MSG_GET && data) {
        auto* info = static_cast<TW_IMAGEINFO*>(data);
        std::memset(info, 0, sizeof *info);
        info->XResolution.Whole = 200;
        info->YResolution.Whole = 200;
        info->ImageWidth = s.settings.width;
        info->ImageLength = s.settings.height;
        const auto depth = static_cast<TW_INT16>(DepthFor(Find(s, ICAP_PIXELTYPE)->current));
        info->SamplesPerPixel = depth == 24 ? 3 : 1;
        for (int i = 0; i < info->SamplesPerPixel; ++i) info->BitsPerSample[i] = depth == 24 ? 8 : depth;
        info->BitsPerPixel = depth;
        info->PixelType = static_cast<TW_INT16>(Find(s, ICAP_PIXELTYPE)->current);
        return TWRC_SUCCESS;
    }
    return Fail(s, TWCC_BADPROTOCOL);
}

}  // namespace

extern "C" __declspec(dllexport) TW_UINT16 WINAPI DS_Entry(TW_IDENTITY* origin, TW_UINT32 dg,
                                                           TW_UINT16 dat, TW_UINT16 msg,
                                                           TW_MEMREF data) {
    Source& s = TheSource();
    // Whatever goes wrong inside (memory, a settings file) is a failure the manager can report.
    return kavrel::NoThrowOr(
        [&]() -> TW_UINT16 {
            // Identity requests come before any open; everything else needs an open source.
            if (dg == DG_CONTROL && dat == DAT_IDENTITY) return HandleControl(s, origin, dat, msg, data);
            if (!s.open) return Fail(s, TWCC_SEQERROR);
            if (dg == DG_CONTROL) return HandleControl(s, origin, dat, msg, data);
            if (dg == DG_IMAGE) return HandleImage(s, dat, msg, data);
            return Fail(s, TWCC_BADPROTOCOL);
        },
        [&]() -> TW_UINT16 { return Fail(s, TWCC_LOWMEMORY); });
}
