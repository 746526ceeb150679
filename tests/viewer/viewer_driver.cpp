#include "viewer/viewer_driver.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/dib_builder.h"
#include "support/jpeg_inspect.h"
#include "base/win_handles.h"
#include "support/test_support.h"

namespace kavrel::test {

namespace {

const char* const kButtonCaptions[3] = {"Prev", "Next", "Delete"};

RECT ChildRect(HWND parent, HWND child) {
    RECT r{};
    if (!child) return r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

HWND ViewerSession::WaitForViewer(DWORD timeoutMs) {
    viewer_ = WaitForWindow(guiThread_, "TTF", timeoutMs);
    return viewer_;
}

namespace {
struct ViewerSearch {
    HWND beneath = nullptr;
    HWND found = nullptr;
};
BOOL CALLBACK FindViewerOver(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<ViewerSearch*>(search);
    char name[8] = {};
    ::GetClassNameA(window, name, sizeof name);
    if (window != s->beneath && ::IsWindowVisible(window) && std::strcmp(name, "TTF") == 0) s->found = window;
    return TRUE;
}
}  // namespace

HWND ViewerSession::WaitForViewerOver(HWND beneath, DWORD timeoutMs) {
    ViewerSearch search{beneath};
    WaitUntil([&] {
        ::EnumThreadWindows(guiThread_, &FindViewerOver, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeoutMs);
    viewer_ = search.found;
    return search.found;
}

bool ViewerSession::WaitUntilClosed(DWORD timeoutMs) {
    return WaitUntil([&] { return !viewer_ || !::IsWindowVisible(viewer_); }, timeoutMs);
}

HWND ViewerSession::Button(int index) const {
    return viewer_ ? ::FindWindowExA(viewer_, nullptr, "Button", kButtonCaptions[index]) : nullptr;
}

HWND ViewerSession::Image() const {
    return viewer_ ? ::FindWindowExA(viewer_, nullptr, "TKavrelImage", nullptr) : nullptr;
}

ViewerLayout ViewerSession::Layout() const {
    ViewerLayout layout;
    if (!viewer_) return layout;
    ::GetClientRect(viewer_, &layout.client);
    layout.image = ChildRect(viewer_, Image());
    for (int i = 0; i < 3; ++i) {
        HWND b = Button(i);
        layout.buttons[i] = ChildRect(viewer_, b);
        layout.visible[i] = b && ::IsWindowVisible(b);
        layout.enabled[i] = b && ::IsWindowEnabled(b);
    }
    layout.caption = Inspect(viewer_).caption;
    return layout;
}

std::vector<COLORREF> ViewerSession::ImagePixels(int* width, int* height) const {
    *width = *height = 0;
    HWND image = Image();
    RECT r{};
    if (!image || !::GetClientRect(image, &r) || r.right <= 0 || r.bottom <= 0) return {};
    // The paint is sent to the viewer's thread and done before this returns.
    ::RedrawWindow(image, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = r.right;
    info.bmiHeader.biHeight = -r.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    Bitmap copy(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    WindowDc screen(image);
    CreatedDc memory(::CreateCompatibleDC(screen.get()));
    if (!copy || !screen || !memory) return {};
    std::vector<COLORREF> pixels;
    {
        SelectionGuard selected(memory.get(), copy.get());
        if (!::BitBlt(memory.get(), 0, 0, r.right, r.bottom, screen.get(), 0, 0, SRCCOPY)) return {};
        ::GdiFlush();
    }
    const auto* p = static_cast<const std::uint8_t*>(bits);
    pixels.reserve(static_cast<std::size_t>(r.right) * r.bottom);
    for (long i = 0; i < static_cast<long>(r.right) * r.bottom; ++i, p += 4) pixels.push_back(RGB(p[2], p[1], p[0]));
    *width = r.right;
    *height = r.bottom;
    return pixels;
}

HWND ViewerSession::FocusWindow() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (::GetGUIThreadInfo(guiThread_, &info) && info.hwndFocus) return info.hwndFocus;
    return viewer_;
}

void ViewerSession::Key(WORD virtualKey) {
    // A box that was just answered is hidden before the system gives the focus back to its owner,
    // and a viewer just shown over another gets the focus only once it is activated: a key posted
    // before then is lost, or goes to the window beneath. Wait (bounded) until the focus is on a
    // shown window of the viewer in use, as an operator looks before pressing a key.
    HWND target = nullptr;
    WaitUntil([&] {
        target = FocusWindow();
        const bool inViewer = !viewer_ || target == viewer_ || ::GetAncestor(target, GA_ROOT) == viewer_;
        return target && ::IsWindowVisible(target) && inViewer;
    }, 5000);
    ::PostMessageA(target, WM_KEYDOWN, virtualKey, 1);
    ::PostMessageA(target, WM_KEYUP, virtualKey, 0xC0000001);
}

void ViewerSession::Click(int buttonIndex) { ::PostMessageA(Button(buttonIndex), BM_CLICK, 0, 0); }

void ViewerSession::DoubleClick(HWND window, int x, int y) {
    ::PostMessageA(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
}

bool ViewerSession::WaitForLayout(const std::function<bool(const ViewerLayout&)>& condition, DWORD timeoutMs) {
    return WaitUntil([&] { return condition(Layout()); }, timeoutMs);
}

SeenWindow ViewerSession::WaitForBox(DWORD timeoutMs) {
    HWND box = WaitForWindow(guiThread_, "#32770", timeoutMs);
    if (!box) return {};
    SeenWindow seen;
    // Its text is filled in as it is built: read it once it has buttons.
    WaitUntil([&] {
        seen = Inspect(box);
        return !seen.buttonIds.empty() && !seen.text.empty();
    }, timeoutMs);
    return seen;
}

bool ViewerSession::NoBoxAppears(DWORD forMs) { return WaitForWindow(guiThread_, "#32770", forMs) == nullptr; }

void ViewerSession::Answer(const SeenWindow& box, int buttonId) {
    if (box.window) PressDialogButton(box.window, buttonId);
}

ViewerDriver::ViewerDriver(std::function<void(ViewerSession&)> script) : guiThread_(::GetCurrentThreadId()) {
    thread_ = std::thread([this, script = std::move(script)] {
        ViewerSession session(guiThread_);
        script(session);
        // Whatever the script left open is closed, so that the thread under test returns.
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (HWND box = WaitForWindow(guiThread_, "#32770", 10)) {
                const SeenWindow seen = Inspect(box);
                if (!seen.buttonIds.empty()) PressDialogButton(box, seen.buttonIds.front());
                continue;
            }
            HWND viewer = WaitForWindow(guiThread_, "TTF", 10);
            if (!viewer) break;
            ::PostMessageA(viewer, WM_CLOSE, 0, 0);
            ::Sleep(100);
        }
        done_ = true;
    });
}

ViewerDriver::~ViewerDriver() {
    if (thread_.joinable()) thread_.join();
}

void WriteBmpImage(const std::string& path, int width, int height, COLORREF colour) {
    std::vector<std::uint8_t> dib = DibBytes({width, height, 24});
    const std::size_t stride = RowBytes(width, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = dib.data() + 40 + stride * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x);
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
        }
    }
    const auto rows = dib.begin() + 40;
    WriteBytes(path, BmpFileOf({dib.begin(), rows}, {}, {rows, dib.end()}));
}

void WriteJpegImage(const std::string& path, int width, int height, COLORREF colour) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = GetRValue(colour);
        rgb[i + 1] = GetGValue(colour);
        rgb[i + 2] = GetBValue(colour);
    }
    WriteBytes(path, EncodeJpeg(rgb, width, height));
}

}  // namespace kavrel::test
