// Driving the signature viewer as an operator does: kvrshow runs on the test's main thread
// (inside the viewer's modal loop), and a driver thread finds the window, reads its layout,
// presses keys and buttons, answers its boxes and closes it. Every wait is bounded; when the
// driver's script ends with the viewer still open, the driver closes it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/window_driver.h"

namespace kavrel::test {

struct ViewerLayout {
    RECT client{};    // the client area (left and top 0)
    RECT image{};     // Image1 in client coordinates
    RECT buttons[3]{};
    bool visible[3]{};
    bool enabled[3]{};
    std::string caption;
    int ClientWidth() const { return client.right - client.left; }
    int ClientHeight() const { return client.bottom - client.top; }
    int ImageWidth() const { return image.right - image.left; }
    int ImageHeight() const { return image.bottom - image.top; }
};

class ViewerSession {
public:
    explicit ViewerSession(DWORD guiThread) : guiThread_(guiThread) {}

    // The viewer's window, once it is shown (null if it did not appear in time).
    HWND WaitForViewer(DWORD timeoutMs = 15000);
    HWND Viewer() const { return viewer_; }
    // A second viewer shown over the current one (kvrshow called again from inside it); it becomes
    // the one driven until Use hands the first back.
    HWND WaitForViewerOver(HWND beneath, DWORD timeoutMs = 15000);
    void Use(HWND viewer) { viewer_ = viewer; }
    bool ViewerOpen() const { return viewer_ && ::IsWindowVisible(viewer_); }
    // Waits until the viewer is hidden (closed).
    bool WaitUntilClosed(DWORD timeoutMs = 10000);

    ViewerLayout Layout() const;
    // What Image1 shows on the screen, painted afresh: its client area, row by row from the top,
    // as RGB colours. Empty when there is no image window.
    std::vector<COLORREF> ImagePixels(int* width, int* height) const;
    HWND Button(int index) const;  // 0 Prev, 1 Next, 2 Delete
    HWND Image() const;

    // A key pressed by the operator: it goes to the window with the keyboard focus.
    void Key(WORD virtualKey);
    HWND FocusWindow() const;
    // A click on a button as the mouse makes it.
    void Click(int buttonIndex);
    void DoubleClick(HWND window, int x, int y);

    // Waits until the viewer's layout satisfies a condition.
    bool WaitForLayout(const std::function<bool(const ViewerLayout&)>& condition, DWORD timeoutMs = 10000);
    // Waits for a message box (or other dialog) of the GUI thread and reads it.
    SeenWindow WaitForBox(DWORD timeoutMs = 10000);
    bool NoBoxAppears(DWORD forMs);
    void Answer(const SeenWindow& box, int buttonId);

private:
    DWORD guiThread_;
    HWND viewer_ = nullptr;
};

// Runs a driver script on its own thread against the calling (GUI) thread.
class ViewerDriver {
public:
    explicit ViewerDriver(std::function<void(ViewerSession&)> script);
    ~ViewerDriver();  // waits for the script (bounded) and fails the test if it hung
    ViewerDriver(const ViewerDriver&) = delete;
    ViewerDriver& operator=(const ViewerDriver&) = delete;
    // Whether the script has finished.
    bool Done() const { return done_; }

private:
    DWORD guiThread_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// The image file a test shows: a 24-bit BMP or a JPEG of one colour or a pattern.
void WriteBmpImage(const std::string& path, int width, int height, COLORREF colour);
void WriteJpegImage(const std::string& path, int width, int height, COLORREF colour);

}  // namespace kavrel::test
