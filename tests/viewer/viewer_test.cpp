// kvrshow and the viewer window, driven from a second thread as an operator uses them: layout
// against the window's rules, stepping, deletion, keys, zoom, the key help, double-clicks and
// the messages the host receives.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "support/dib_builder.h"
#include "support/jpeg_inspect.h"
#include "support/test_support.h"
#include "support/hosted_module_test.h"
#include "tools/kvrhost/script_host.h"
#include "viewer/viewer_driver.h"

namespace kavrel::test {
namespace {

using Messages = std::vector<std::wstring>;

class Viewer : public HostedModuleTest {
protected:
    // Calls kvrshow while `script` drives the window; returns when kvrshow has returned.
    void Show(const std::string& directory, const std::string& key, const std::function<void(ViewerSession&)>& script,
              const std::string& title = "T", const std::string& buttonsFlag = "1",
              const std::string& deleteFlag = "1") {
        host.ClearRecords();
        returned = false;
        ViewerDriver driver(script);
        EXPECT_TRUE(host.Call("kvrshow", {directory, key, title, buttonsFlag, deleteFlag}));
        returned = true;
        EXPECT_TRUE(host.integers.empty()) << "kvrshow writes no argument";
    }
    Messages HostMessages() const {
        Messages m;
        for (const auto& text : host.messages) m.push_back(FromOem(text));
        return m;
    }

    ScratchDir dir;
    std::atomic<bool> returned{false};
};

// --- what kvrshow checks before a viewer is made -------------------------------------------------

TEST_F(Viewer, NoDirectoryNoFileOrAnUnlistableDirectoryGiveMessagesAndNoWindow) {
    std::atomic<bool> windowSeen{false};
    auto noWindow = [&](ViewerSession& v) { windowSeen = v.WaitForViewer(500) != nullptr; };
    Show(dir / "missing", "k", noWindow);
    EXPECT_EQ(HostMessages(), Messages{L"Отсутствует директория с подписью клиента"});
    WriteBytes(dir / "plain.jpg", "x");
    Show(dir / "plain.jpg", "k", noWindow);
    EXPECT_EQ(HostMessages(), Messages{L"Отсутствует директория с подписью клиента"});
    // Only ab12.JPG for key AB12: the ending is compared case-sensitively.
    WriteBytes(dir / "ab12.JPG", "x");
    Show(dir.Path(), "AB12", noWindow);
    EXPECT_EQ(HostMessages(), Messages{L"Отсутствует файл с подписью клиента"});
    const std::string locked = dir.Subdir("locked");
    WriteBmpImage(locked + "\\k.bmp", 4, 4, RGB(1, 2, 3));
    LockPath(locked);
    Show(locked, "k", noWindow);
    UnlockPath(locked);
    EXPECT_EQ(HostMessages(), Messages{L"Невозможно открыть директорию с подписью клиента"});
    // Client 123 has no file: only names from another system whose best likeness in code page
    // 1251 is "123\..\456.bmp" -- client 456's file, which the viewer would show and delete --
    // and "123.bmp".
    const std::string likenesses = dir.Subdir("likenesses");
    WriteBmpImage(likenesses + "\\456.bmp", 300, 60, RGB(200, 0, 0));
    // 123, a full-width backslash, .., another, 456; and 1, a full-width 2, 3 (in UTF-8).
    ASSERT_EQ(RunUnix("cd '" + UnixPathOf(likenesses) +
                      "' && cp 456.bmp \"$(printf '123\\357\\274\\274..\\357\\274\\274456.bmp')\""
                      " && cp 456.bmp \"$(printf '1\\357\\274\\2223.bmp')\""),
              0);
    Show(likenesses, "123", noWindow);
    EXPECT_EQ(HostMessages(), Messages{L"Отсутствует файл с подписью клиента"});
    EXPECT_FALSE(windowSeen);
}

TEST_F(Viewer, TheCheckIgnoresCaseButTheWindowDoesNot) {
    // kvrshow finds ab12.jpg for AB12 and opens the viewer; the viewer's own byte-for-byte
    // listing finds nothing, says so and closes before the operator can act.
    WriteBmpImage(dir / "ab12.jpg", 4, 4, RGB(1, 2, 3));
    bool appeared = true;
    Show(dir.Path(), "AB12", [&](ViewerSession& v) { appeared = v.WaitForViewer(1000) != nullptr; });
    EXPECT_FALSE(appeared) << "the window never waits for input";
    EXPECT_EQ(HostMessages(), Messages{L"Отсутствует файл с подписью клиента"});
}

TEST_F(Viewer, ADirectoryGoneByTheTimeTheWindowShowsIsReportedByTheWindow) {
    // kvrshow has checked the directory and its files; while it fills in the viewer (reading
    // the title), the directory is moved away.
    const std::string images = dir.Subdir("moving");
    WriteBmpImage(images + "\\k.bmp", 50, 50, RGB(1, 2, 3));
    host.onParameterRead = [&](int index) {
        if (index == 2) ::MoveFileA(images.c_str(), (dir / "moved").c_str());
    };
    bool appeared = true;
    Show(images, "k", [&](ViewerSession& v) { appeared = v.WaitForViewer(1000) != nullptr; });
    host.onParameterRead = nullptr;
    EXPECT_FALSE(appeared);
    EXPECT_EQ(HostMessages(), Messages{L"Отсутствует директория с подписями клиентов"});
}

LRESULT CALLBACK ForeignWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Viewer, AViewerThatCannotBeMadeIsReportedAndTheNextCallRecovers) {
    // Another component of the host process has registered the viewer's window class under the
    // module's instance and keeps a window of it, so the module can neither use nor replace it.
    HMODULE module = ::GetModuleHandleA("Kavrel.dll");
    ASSERT_NE(module, nullptr);
    WNDCLASSEXA foreignClass{};
    foreignClass.cbSize = sizeof foreignClass;
    foreignClass.lpfnWndProc = &ForeignWindowProcedure;
    foreignClass.hInstance = module;
    foreignClass.lpszClassName = "TTF";
    ASSERT_NE(::RegisterClassExA(&foreignClass), 0);
    HWND foreign = ::CreateWindowExA(0, "TTF", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    ASSERT_NE(foreign, nullptr);
    WriteBmpImage(dir / "k.bmp", 60, 40, RGB(1, 2, 3));

    std::atomic<std::size_t> messagesSoFar{0};
    host.onMessage = [&](const std::string&) { ++messagesSoFar; };
    std::size_t messagesWhileTheBoxShows = 99;
    SeenWindow box;
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        box = v.WaitForBox();
        messagesWhileTheBoxShows = messagesSoFar;
        v.Answer(box, IDOK);
    });
    host.onMessage = nullptr;
    EXPECT_EQ(HostMessages(), (Messages{L"123", L"Ошибка создания формы для отображения подписи"}));
    EXPECT_EQ(messagesWhileTheBoxShows, 1u) << "\"123\" comes before the error box, the message after it";
    EXPECT_EQ(box.buttonIds, std::vector<int>{IDOK});
    EXPECT_NE(box.text.find("TTF"), std::string::npos) << "the box shows the error's own message: " << box.text;

    // Once the other component's window is gone, the module replaces the class with its own.
    ::DestroyWindow(foreign);
    bool appeared = false;
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        appeared = v.WaitForViewer() != nullptr;
        v.Key(VK_ESCAPE);
        EXPECT_TRUE(v.WaitUntilClosed());
    });
    EXPECT_TRUE(appeared);
    EXPECT_TRUE(HostMessages().empty());
}

TEST_F(Viewer, TheWindowListsOnlyExactMatchesOfTheKey) {
    WriteJpegImage(dir / "ABC1.jpg", 241, 60, RGB(200, 0, 0));
    WriteJpegImage(dir / "abc2.JPG", 242, 60, RGB(0, 200, 0));
    WriteJpegImage(dir / "abc3.jpg", 243, 60, RGB(0, 0, 200));
    ViewerLayout seen;
    Show(dir.Path(), "abc", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        seen = v.Layout();
        v.Key(VK_ESCAPE);
        EXPECT_TRUE(v.WaitUntilClosed());
    });
    EXPECT_EQ(seen.ImageWidth(), 243) << "abc3.jpg, the only file the window lists";
    EXPECT_FALSE(seen.enabled[0]);
    EXPECT_FALSE(seen.enabled[1]);
    EXPECT_TRUE(HostMessages().empty());
}

TEST_F(Viewer, CaptionFlagsAndModality) {
    WriteBmpImage(dir / "k1.bmp", 300, 100, RGB(10, 20, 30));
    ViewerLayout seen;
    bool returnedWhileOpen = true;
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        seen = v.Layout();
        returnedWhileOpen = returned;
        v.Key(VK_ESCAPE);
    }, Ansi(L"Иванов"), "1", "0");
    EXPECT_EQ(FromAnsi(seen.caption), L"клиент - Иванов");
    EXPECT_FALSE(seen.enabled[2]) << "delete flag \"0\" disables Delete";
    EXPECT_FALSE(returnedWhileOpen) << "kvrshow does not return while the viewer is open";

    for (const std::string flag : {"00", " 0", "", "1"}) {
        Show(dir.Path(), "k", [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            seen = v.Layout();
            v.Key(VK_ESCAPE);
        }, "x", "1", flag);
        EXPECT_TRUE(seen.enabled[2]) << "delete flag \"" << flag << "\"";
        EXPECT_EQ(seen.caption, "\xEA\xEB\xE8\xE5\xED\xF2 - x") << "each call makes a new viewer";
    }
}

// --- layout ------------------------------------------------------------------------------------

struct Expected {
    int width, height;             // the image
    int clientWidth, clientHeight;
    int buttonWidth, left2, left3;
};

void ExpectLayout(const ViewerLayout& l, const Expected& e) {
    EXPECT_EQ(l.ClientWidth(), e.clientWidth) << e.width << " x " << e.height;
    EXPECT_EQ(l.ClientHeight(), e.clientHeight) << e.width << " x " << e.height;
    EXPECT_EQ(l.image.left, 0);
    EXPECT_EQ(l.image.top, 25);
    EXPECT_EQ(l.ImageWidth(), e.width);
    EXPECT_EQ(l.ImageHeight(), e.height);
    const int lefts[3] = {1, e.left2, e.left3};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(l.visible[i]);
        EXPECT_EQ(l.buttons[i].left, lefts[i]) << "button " << i << " for width " << e.width;
        EXPECT_EQ(l.buttons[i].right - l.buttons[i].left, e.buttonWidth) << "button " << i << " for width " << e.width;
        EXPECT_EQ(l.buttons[i].top, 0);
        EXPECT_EQ(l.buttons[i].bottom - l.buttons[i].top, 25);
    }
}

TEST_F(Viewer, TheWindowFitsTheImageAndTheButtonRow) {
    const Expected cases[] = {
        {239, 100, 240, 125, 78, 81, 162},
        {240, 100, 240, 125, 78, 81, 162},
        {600, 400, 600, 425, 198, 201, 402},
        {100, 50, 240, 75, 78, 81, 162},
        {301, 10, 301, 35, 98, 101, 202},
    };
    for (const Expected& e : cases) {
        ScratchDir images;
        WriteBmpImage(images / "k.bmp", e.width, e.height, RGB(50, 60, 70));
        ViewerLayout seen;
        Show(images.Path(), "k", [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            seen = v.Layout();
            v.Key(VK_ESCAPE);
        });
        ExpectLayout(seen, e);
    }
}

// What Image1 shows against what it should: every judged pixel within `tolerance` a channel.
void ExpectShown(ViewerSession& v, int width, int height, const std::function<COLORREF(int x, int y)>& expected,
                 const std::function<bool(int x, int y)>& judged, int tolerance, const char* what) {
    int w = 0, h = 0;
    const std::vector<COLORREF> shown = v.ImagePixels(&w, &h);
    ASSERT_EQ(w, width) << what;
    ASSERT_EQ(h, height) << what;
    int wrong = 0;
    std::string first;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!judged(x, y)) continue;
            const COLORREF s = shown[static_cast<std::size_t>(y) * w + x], e = expected(x, y);
            const int d = std::max({std::abs(GetRValue(s) - GetRValue(e)), std::abs(GetGValue(s) - GetGValue(e)),
                                    std::abs(GetBValue(s) - GetBValue(e))});
            if (d > tolerance && wrong++ == 0) {
                first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") shows " + Hex(std::string(
                            reinterpret_cast<const char*>(&s), 3)) + " instead of " +
                        Hex(std::string(reinterpret_cast<const char*>(&e), 3));
            }
        }
    }
    EXPECT_EQ(wrong, 0) << what << ": first " << first;
}

TEST_F(Viewer, TheImageShowsTheFilesOwnColoursAndZoomKeepsThem) {
    // An 8-bit file of four quadrants whose colour table is no grey ramp.
    const std::vector<RGBQUAD> table{{40, 30, 200, 0}, {20, 180, 60, 0}, {220, 90, 10, 0}, {250, 250, 250, 0}};
    auto quadrant = [](int x, int y) { return (x >= 60 ? 1 : 0) + (y >= 40 ? 2 : 0); };
    auto colourOf = [&](int index) {
        const RGBQUAD& q = table[static_cast<std::size_t>(index)];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    };
    auto everywhere = [](int, int) { return true; };
    WriteBytes(dir / "a.bmp", PaletteBmpFile(120, 80, 8, table, quadrant));
    Show(dir.Path(), "a", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        ExpectShown(v, 120, 80, [&](int x, int y) { return colourOf(quadrant(x, y)); }, everywhere, 0, "8-bit file");
        // Doubled, each quadrant keeps its colour (judged away from where they meet).
        v.Key(VK_ADD);
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 240; }));
        ExpectShown(v, 240, 160, [&](int x, int y) { return colourOf(quadrant(x / 2, y / 2)); },
                    [](int x, int y) { return std::abs(x - 120) > 3 && std::abs(y - 80) > 3; }, 2, "doubled");
        v.Key(VK_ESCAPE);
    });

    // A black-and-white file whose table says 0 is white and 1 is black.
    const std::vector<RGBQUAD> inverted{{255, 255, 255, 0}, {0, 0, 0, 0}};
    auto stripes = [](int x, int) { return (x / 10) % 2; };
    WriteBytes(dir / "b.bmp", PaletteBmpFile(100, 50, 1, inverted, stripes));
    Show(dir.Path(), "b", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        ExpectShown(v, 100, 50, [&](int x, int) { return stripes(x, 0) ? RGB(0, 0, 0) : RGB(255, 255, 255); },
                    everywhere, 0, "1-bit file");
        v.Key(VK_ESCAPE);
    });

    WriteJpegImage(dir / "c.jpg", 90, 45, RGB(30, 120, 200));
    Show(dir.Path(), "c", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        ExpectShown(v, 90, 45, [](int, int) { return RGB(30, 120, 200); }, everywhere, 4, "JPEG file");
        v.Key(VK_ESCAPE);
    });
    EXPECT_TRUE(HostMessages().empty());
}

TEST_F(Viewer, BitmapFilesOfEveryCommonLayoutShowTheirPixels) {
    // Four quadrants of colours every format holds exactly.
    const COLORREF colours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    constexpr int kWidth = 120, kHeight = 80;
    auto quadrant = [](int x, int y) { return (x >= 60 ? 1 : 0) + (y >= 40 ? 2 : 0); };
    auto expected = [&](int x, int y) { return colours[quadrant(x, y)]; };
    // Rows in file order: bottom-up unless told otherwise.
    auto rows = [&](int bytesPerPixel, bool topDown, const std::function<void(std::uint8_t*, COLORREF)>& put) {
        const std::size_t stride = (static_cast<std::size_t>(kWidth) * bytesPerPixel + 3) / 4 * 4;
        std::vector<std::uint8_t> pixels(stride * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            const int fileRow = topDown ? y : kHeight - 1 - y;
            for (int x = 0; x < kWidth; ++x) put(pixels.data() + stride * fileRow + x * bytesPerPixel, expected(x, y));
        }
        return pixels;
    };
    auto bgr = [](std::uint8_t* p, COLORREF c) { p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c); };
    auto bgrx = [&](std::uint8_t* p, COLORREF c) { bgr(p, c), p[3] = 0; };
    auto rgb565 = [](std::uint8_t* p, COLORREF c) {
        const std::uint16_t v = static_cast<std::uint16_t>(((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3));
        std::memcpy(p, &v, 2);
    };
    auto masks = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        std::vector<std::uint8_t> m(12);
        std::memcpy(m.data(), &r, 4), std::memcpy(m.data() + 4, &g, 4), std::memcpy(m.data() + 8, &b, 4);
        return m;
    };
    // A version 5 header (as current editors write 32-bit files) holds its masks itself.
    std::vector<std::uint8_t> v5 = InfoHeaderBytes(124, kWidth, kHeight, 32, BI_BITFIELDS);
    const std::vector<std::uint8_t> v5Masks = masks(0xFF0000, 0xFF00, 0xFF);
    std::copy(v5Masks.begin(), v5Masks.end(), v5.begin() + 40);
    // Run-length 8-bit rows: two runs of 60, then the end of the row; the end of the picture last.
    std::vector<std::uint8_t> rle;
    for (int fileRow = 0; fileRow < kHeight; ++fileRow) {
        const int y = kHeight - 1 - fileRow;
        rle.insert(rle.end(), {60, static_cast<std::uint8_t>(quadrant(0, y)), 60, static_cast<std::uint8_t>(quadrant(60, y)), 0, 0});
    }
    rle.insert(rle.end(), {0, 1});
    std::vector<std::uint8_t> palette;
    for (COLORREF c : colours) palette.insert(palette.end(), {GetBValue(c), GetGValue(c), GetRValue(c), 0});

    const struct {
        const char* key;
        std::vector<std::uint8_t> file;
    } files[] = {
        {"top-down", BmpFileOf(InfoHeaderBytes(40, kWidth, -kHeight, 24, BI_RGB), {}, rows(3, true, bgr))},
        {"bgrx", BmpFileOf(InfoHeaderBytes(40, kWidth, kHeight, 32, BI_RGB), {}, rows(4, false, bgrx))},
        {"v5", BmpFileOf(v5, {}, rows(4, false, bgrx))},
        {"565", BmpFileOf(InfoHeaderBytes(40, kWidth, kHeight, 16, BI_BITFIELDS), masks(0xF800, 0x07E0, 0x001F),
                          rows(2, false, rgb565))},
        {"rle8", BmpFileOf(InfoHeaderBytes(40, kWidth, kHeight, 8, BI_RLE8, static_cast<std::uint32_t>(rle.size()), 4),
                           palette, rle)},
    };
    for (const auto& f : files) {
        WriteBytes(dir / (std::string(f.key) + ".bmp"), f.file);
        Show(dir.Path(), f.key, [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr) << f.key;
            ExpectShown(v, kWidth, kHeight, expected, [](int, int) { return true; }, 0, f.key);
            v.Key(VK_ESCAPE);
        });
        EXPECT_TRUE(HostMessages().empty()) << f.key;
    }
}

TEST_F(Viewer, GreyAndCmykJpegsFromOtherProgramsShowInTheirColours) {
    auto everywhere = [](int, int) { return true; };
    struct Case {
        const char* key;
        JpegKind kind;
        std::vector<std::uint8_t> pixel;
        COLORREF shows;
    };
    // Inks of 20 % cyan, 60 % magenta, 80 % yellow and 10 % black are red 184, green 92, blue 46,
    // whether the file keeps them inverted (with an Adobe marker) or as they are.
    const Case cases[] = {
        {"grey", JpegKind::Grey, {77}, RGB(77, 77, 77)},
        {"adobe", JpegKind::CmykAdobe, {204, 102, 51, 230}, RGB(184, 92, 46)},
        {"plain", JpegKind::CmykPlain, {51, 153, 204, 25}, RGB(184, 92, 46)},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> pixels;
        for (int i = 0; i < 80 * 40; ++i) pixels.insert(pixels.end(), c.pixel.begin(), c.pixel.end());
        WriteBytes(dir / (std::string(c.key) + ".jpg"), EncodeJpegOf(c.kind, pixels, 80, 40));
        Show(dir.Path(), c.key, [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr) << c.key;
            ExpectShown(v, 80, 40, [&](int, int) { return c.shows; }, everywhere, 4, c.key);
            v.Key(VK_ESCAPE);
        });
        EXPECT_TRUE(HostMessages().empty()) << c.key;
    }

    // Intact files that other programs and cameras write with something libjpeg warns about: a
    // JFIF revision 2.01, and no end marker after the last row. Every row is there: they show.
    struct Intact {
        const char* key;
        std::function<void(std::vector<std::uint8_t>&)> alter;
    };
    const Intact intact[] = {
        {"jfif", [](std::vector<std::uint8_t>& b) { b.at(11) = 2; }},
        {"noend", [](std::vector<std::uint8_t>& b) { b.resize(b.size() - 2); }},
    };
    for (const Intact& c : intact) {
        const std::string path = dir / (std::string(c.key) + ".jpg");
        WriteJpegImage(path, 80, 40, RGB(30, 120, 200));
        auto bytes = ReadBytes(path);
        ASSERT_EQ(bytes.at(11), 1) << "a JFIF 1.x file to begin with";
        c.alter(bytes);
        WriteBytes(path, bytes);
        Show(dir.Path(), c.key, [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr) << c.key;
            EXPECT_TRUE(v.NoBoxAppears(300)) << c.key << ": no error box";
            ExpectShown(v, 80, 40, [](int, int) { return RGB(30, 120, 200); }, everywhere, 4, c.key);
            v.Key(VK_ESCAPE);
        });
    }
}

TEST_F(Viewer, WithTheButtonRowHiddenTheClientAreaIsTheImage) {
    WriteJpegImage(dir / "k.jpg", 150, 70, RGB(90, 90, 90));
    ViewerLayout seen;
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        seen = v.Layout();
        // No button can take the focus: the form takes the keys itself.
        v.Key(VK_ESCAPE);
        EXPECT_TRUE(v.WaitUntilClosed());
    }, "T", "0");
    EXPECT_EQ(seen.ClientWidth(), 150);
    EXPECT_EQ(seen.ClientHeight(), 70);
    EXPECT_EQ(seen.image.left, 0);
    EXPECT_EQ(seen.image.top, 0);
    for (bool visible : seen.visible) EXPECT_FALSE(visible);
}

TEST_F(Viewer, TheOperatorCannotResizeTheWindow) {
    WriteBmpImage(dir / "k.bmp", 260, 90, RGB(1, 1, 1));
    ViewerLayout before, after;
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        before = v.Layout();
        ::SetWindowPos(v.Viewer(), nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
        after = v.Layout();
        v.Key(VK_ESCAPE);
    });
    EXPECT_EQ(after.ClientWidth(), before.ClientWidth());
    EXPECT_EQ(after.ClientHeight(), before.ClientHeight());
}

// --- stepping ----------------------------------------------------------------------------------

TEST_F(Viewer, StepsThroughTheListWithoutWrapping) {
    // Widths tell the images apart; the listing order is the directory's.
    WriteBmpImage(dir / "k_a.bmp", 301, 40, RGB(255, 0, 0));
    WriteJpegImage(dir / "k_b.jpg", 302, 40, RGB(0, 255, 0));
    WriteBmpImage(dir / "k_c.bmp", 303, 40, RGB(0, 0, 255));
    Show(dir.Path(), "k_", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        ViewerLayout l = v.Layout();
        const int first = l.ImageWidth();
        EXPECT_FALSE(l.enabled[0]);
        EXPECT_TRUE(l.enabled[1]);
        std::vector<int> widths{first};
        for (int step = 0; step < 2; ++step) {
            const int before = v.Layout().ImageWidth();
            v.Click(1);
            ASSERT_TRUE(v.WaitForLayout([&](const ViewerLayout& x) { return x.ImageWidth() != before; }));
            widths.push_back(v.Layout().ImageWidth());
        }
        l = v.Layout();
        EXPECT_TRUE(l.enabled[0]);
        EXPECT_FALSE(l.enabled[1]) << "the last image";
        std::sort(widths.begin(), widths.end());
        EXPECT_EQ(widths, (std::vector<int>{301, 302, 303})) << "each image once";
        // Next on the last image does nothing; Prev goes back.
        v.Click(1);
        v.Click(0);
        ASSERT_TRUE(v.WaitForLayout([&](const ViewerLayout& x) { return x.enabled[1]; }));
        l = v.Layout();
        EXPECT_TRUE(l.enabled[0]);
        v.Click(0);
        ASSERT_TRUE(v.WaitForLayout([&](const ViewerLayout& x) { return !x.enabled[0]; }));
        EXPECT_EQ(v.Layout().ImageWidth(), first);
        v.Click(0);  // disabled: nothing
        v.Key(VK_ESCAPE);
        EXPECT_TRUE(v.WaitUntilClosed());
    });
    EXPECT_TRUE(HostMessages().empty());
}

TEST_F(Viewer, OneImageDisablesBothStepButtonsAndTwoEnableNextOnly) {
    WriteBmpImage(dir / "solo.bmp", 250, 30, RGB(3, 3, 3));
    Show(dir.Path(), "solo", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        const ViewerLayout l = v.Layout();
        EXPECT_FALSE(l.enabled[0]);
        EXPECT_FALSE(l.enabled[1]);
        EXPECT_TRUE(l.enabled[2]);
        v.Key(VK_ESCAPE);
    });
    WriteBmpImage(dir / "duo1.bmp", 250, 30, RGB(3, 3, 3));
    WriteBmpImage(dir / "duo2.bmp", 251, 30, RGB(3, 3, 3));
    Show(dir.Path(), "duo", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        EXPECT_FALSE(v.Layout().enabled[0]);
        EXPECT_TRUE(v.Layout().enabled[1]);
        v.Click(1);
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.enabled[0]; }));
        EXPECT_FALSE(v.Layout().enabled[1]);
        // The focus left the disabled Next; Esc still reaches the window.
        v.Key(VK_ESCAPE);
        EXPECT_TRUE(v.WaitUntilClosed());
    });
}

// --- deleting ----------------------------------------------------------------------------------

// Images whose widths are their numbers, so that the one shown tells which it is.
// The file WriteNumbered makes for a width (built in steps: GCC 12 warns falsely on a "+" chain).
std::string NumberedFile(const std::string& key, int width) {
    std::string name = key;
    name += std::to_string(width);
    name += ".bmp";
    return name;
}

void WriteNumbered(const ScratchDir& d, const std::string& key, std::initializer_list<int> widths) {
    for (int w : widths) WriteBmpImage(d / (key + std::to_string(w) + ".bmp"), w, 20, RGB(w % 256, 0, 0));
}

// Steps to the image of width `target`: back to the first image, then forward.
void StepTo(ViewerSession& v, int target) {
    auto step = [&](int button) {
        const int before = v.Layout().ImageWidth();
        v.Click(button);
        return v.WaitForLayout([&](const ViewerLayout& l) { return l.ImageWidth() != before; });
    };
    while (v.Layout().enabled[0] && v.Layout().ImageWidth() != target) ASSERT_TRUE(step(0));
    while (v.Layout().enabled[1] && v.Layout().ImageWidth() != target) ASSERT_TRUE(step(1));
    ASSERT_EQ(v.Layout().ImageWidth(), target);
}

// The position (0-based) of the image shown, judged by the step buttons' states and the list.
struct DeletionOutcome {
    int shownWidth = -1;
    bool prevEnabled = false, nextEnabled = false;
    bool closed = false;
    std::string question, caption;
};

DeletionOutcome DeleteShown(ViewerSession& v, bool answerYes) {
    DeletionOutcome out;
    const int before = v.Layout().ImageWidth();
    v.Click(2);
    const SeenWindow box = v.WaitForBox();
    out.question = box.text;
    out.caption = box.caption;
    EXPECT_EQ(box.buttonIds.size(), 2u) << "Yes and No";
    v.Answer(box, answerYes ? IDYES : IDNO);
    if (answerYes) {
        WaitUntil([&] { return !v.ViewerOpen() || v.Layout().ImageWidth() != before; }, 10000);
    } else {
        WaitUntil([&] { return !::IsWindow(box.window) || !::IsWindowVisible(box.window); }, 10000);
    }
    out.closed = !v.ViewerOpen();
    if (!out.closed) {
        const ViewerLayout l = v.Layout();
        out.shownWidth = l.ImageWidth();
        out.prevEnabled = l.enabled[0];
        out.nextEnabled = l.enabled[1];
    }
    return out;
}

TEST_F(Viewer, DeletingAsksFirstAndNoChangesNothing) {
    WriteNumbered(dir, "d", {241, 242});
    DeletionOutcome no;
    Show(dir.Path(), "d", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        no = DeleteShown(v, false);
        v.Key(VK_ESCAPE);
    });
    EXPECT_EQ(FromAnsi(no.question), L"Вы действительно хотите удалить данное изображение?");
    EXPECT_EQ(FromAnsi(no.caption), L"Предупреждение");
    EXPECT_FALSE(no.closed);
    EXPECT_TRUE(FileExists(dir / "d241.bmp"));
    EXPECT_TRUE(FileExists(dir / "d242.bmp"));
}

// Deletes the image of width `victim` from a directory of `widths` and reports what follows.
TEST_F(Viewer, DeletionChoosesTheNextImageByTheRules) {
    struct Case {
        std::vector<int> widths;
        int victimPosition;  // in listing order
        int expectedPosition;
    };
    // n after the deletion: 2 -> the one before (or the new first); more than 2 -> the one that
    // moved into the place (or the new last).
    const Case cases[] = {
        {{241, 242, 243}, 1, 0},       // second of three: the first
        {{241, 242, 243, 244}, 3, 2},  // last of four: the new last
        {{241, 242, 243, 244}, 1, 1},  // second of four: the former third, at 1
        {{241, 242}, 0, 0},            // first of two: the remaining one
        {{241, 242, 243}, 0, 0},       // first of three: the new first
    };
    for (const Case& c : cases) {
        ScratchDir images;
        for (int w : c.widths) WriteBmpImage(images / ("d" + std::to_string(w) + ".bmp"), w, 20, RGB(9, 9, 9));
        std::vector<int> order;
        DeletionOutcome out;
        Show(images.Path(), "d", [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            // Learn the listing order by stepping through.
            order.push_back(v.Layout().ImageWidth());
            while (v.Layout().enabled[1]) {
                const int before = v.Layout().ImageWidth();
                v.Click(1);
                ASSERT_TRUE(v.WaitForLayout([&](const ViewerLayout& l) { return l.ImageWidth() != before; }));
                order.push_back(v.Layout().ImageWidth());
            }
            ASSERT_EQ(order.size(), c.widths.size());
            StepTo(v, order[static_cast<std::size_t>(c.victimPosition)]);
            out = DeleteShown(v, true);
            v.Key(VK_ESCAPE);
        });
        ASSERT_EQ(order.size(), c.widths.size());
        std::vector<int> remaining = order;
        remaining.erase(remaining.begin() + c.victimPosition);
        const int n = static_cast<int>(remaining.size());
        EXPECT_FALSE(out.closed);
        EXPECT_EQ(out.shownWidth, remaining[static_cast<std::size_t>(c.expectedPosition)])
            << "deleting position " << c.victimPosition << " of " << c.widths.size();
        EXPECT_EQ(out.prevEnabled, c.expectedPosition != 0);
        EXPECT_EQ(out.nextEnabled, c.expectedPosition != n - 1);
        EXPECT_FALSE(FileExists(images / ("d" + std::to_string(order[static_cast<std::size_t>(c.victimPosition)]) + ".bmp")));
    }
}

TEST_F(Viewer, DeletingTheOnlyImageClosesTheWindowWithoutAMessage) {
    WriteBmpImage(dir / "only.bmp", 250, 30, RGB(1, 2, 3));
    DeletionOutcome out;
    Show(dir.Path(), "only", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        out = DeleteShown(v, true);
    });
    EXPECT_TRUE(out.closed);
    EXPECT_FALSE(FileExists(dir / "only.bmp"));
    EXPECT_TRUE(HostMessages().empty());
}

TEST_F(Viewer, AFileThatCannotBeDeletedStaysListed) {
    const std::string images = dir.Subdir("readonly");
    WriteBmpImage(images + "\\u241.bmp", 241, 20, RGB(1, 1, 1));
    WriteBmpImage(images + "\\u242.bmp", 242, 20, RGB(1, 1, 1));
    ASSERT_EQ(RunUnix("chmod 555 '" + UnixPathOf(images) + "'"), 0);
    DeletionOutcome out;
    int first = 0;
    Show(images, "u", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        first = v.Layout().ImageWidth();
        out = DeleteShown(v, true);
        EXPECT_TRUE(v.NoBoxAppears(300)) << "no message about the failure";
        v.Key(VK_ESCAPE);
    });
    UnlockPath(images);
    // The unchanged list of two, position 0: the rule for n = 2 keeps the first.
    EXPECT_FALSE(out.closed);
    EXPECT_EQ(out.shownWidth, first);
    EXPECT_TRUE(FileExists(images + "\\u241.bmp"));
    EXPECT_TRUE(FileExists(images + "\\u242.bmp"));
}

// kvrshow called on a thread of its own, as a host with several threads may; whether it came back
// within ten seconds (a call that shows a viewer there would not).
bool KvrshowFromAnotherThread(hoststandin::ScriptHost& h, const std::vector<std::string>& arguments) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread other([&h, arguments, done] {
        h.Call("kvrshow", arguments);
        *done = true;
    });
    const bool returned = WaitUntil([&] { return done->load(); }, 10000);
    if (returned) {
        other.join();
    } else {
        other.detach();
    }
    return returned;
}

// A host window of the test's thread that calls kvrshow when it is posted to, as a host window
// does whose message the viewer's own loop dispatches.
class ShowingHostWindow {
public:
    ShowingHostWindow(hoststandin::ScriptHost& h, std::vector<std::string> arguments)
        : host_(h), arguments_(std::move(arguments)) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &Proc;
        wc.lpszClassName = "KavrelTestShowingHostWindow";
        ::RegisterClassA(&wc);
        window_ = ::CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ShowingHostWindow() {
        ::DestroyWindow(window_);
        ::UnregisterClassA("KavrelTestShowingHostWindow", nullptr);
    }
    void Post() { ::PostMessageA(window_, WM_APP + 9, 0, 0); }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m != WM_APP + 9) return ::DefWindowProcA(w, m, wp, lp);
        auto* self = reinterpret_cast<ShowingHostWindow*>(::GetWindowLongPtrA(w, GWLP_USERDATA));
        self->host_.Call("kvrshow", self->arguments_);
        return 0;
    }
    hoststandin::ScriptHost& host_;
    std::vector<std::string> arguments_;
    HWND window_ = nullptr;
};

TEST_F(Viewer, AViewerShownOverAnotherLeavesItsOwnListAndPictures) {
    // Client a's viewer dispatches a host window that shows client b's; once b's is closed, a's
    // deletes its own shown file, and no file of b's, and steps on. A call from another thread
    // while a's viewer is on screen is then refused with a message and shows nothing.
    WriteNumbered(dir, "a", {241, 242, 243});
    WriteNumbered(dir, "b", {251, 252});
    ShowingHostWindow hostWindow(host, {dir.Path(), "b", "B", "1", "1"});
    DeletionOutcome out;
    bool innerShown = false, otherThreadReturned = false, stepped = false;
    int first = 0;  // the listing order is the file system's
    std::size_t messagesBefore = 0;
    Show(dir.Path(), "a", [&](ViewerSession& v) {
        const HWND outer = v.WaitForViewer();
        ASSERT_NE(outer, nullptr);
        hostWindow.Post();
        const HWND inner = v.WaitForViewerOver(outer);
        innerShown = inner != nullptr;
        ASSERT_TRUE(innerShown);
        v.Key(VK_ESCAPE);
        ASSERT_TRUE(v.WaitUntilClosed());
        v.Use(outer);
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(outer) != FALSE; }, 10000));
        first = v.Layout().ImageWidth();
        out = DeleteShown(v, true);
        v.Click(1);  // to the other one left
        stepped = v.WaitForLayout([&](const ViewerLayout& l) {
            return l.ImageWidth() != out.shownWidth && l.ImageWidth() != first;
        });
        messagesBefore = host.messages.size();
        otherThreadReturned = KvrshowFromAnotherThread(host, {dir.Path(), "a", "C", "1", "1"});

        v.Key(VK_ESCAPE);
    }, "A");
    EXPECT_TRUE(innerShown);
    int left = 0;
    for (int width : {241, 242, 243}) {
        const bool there = FileExists(dir / NumberedFile("a", width));
        EXPECT_EQ(there, width != first) << "a" << width << ": only the file shown where Delete was pressed goes";
        left += there ? 1 : 0;
    }
    EXPECT_EQ(left, 2);
    EXPECT_TRUE(FileExists(dir / "b251.bmp") && FileExists(dir / "b252.bmp")) << "no file of the other viewer";
    EXPECT_TRUE(out.shownWidth >= 241 && out.shownWidth <= 243 && out.shownWidth != first) << out.shownWidth;
    EXPECT_TRUE(stepped) << "Next still steps";
    EXPECT_TRUE(otherThreadReturned) << "the second thread's call came back";
    ASSERT_GT(host.messages.size(), messagesBefore) << "the second thread's call was told why";
    EXPECT_EQ(FromOem(host.messages[messagesBefore]), L"Просмотр подписи уже открыт в другом потоке программы");
}

TEST_F(Viewer, ACallFromInsideAViewerThatFindsNothingLeavesThatViewerOpen) {
    // Client a's viewer dispatches a host window whose call finds no file of client c: that call
    // says so, and a's viewer, whose own call is still running, stays on screen and steps on.
    WriteNumbered(dir, "a", {241, 242});
    ShowingHostWindow hostWindow(host, {dir.Path(), "c", "C", "1", "1"});
    std::atomic<int> messages{0};
    host.onMessage = [&](const std::string&) { ++messages; };
    bool told = false, stillOpen = false, stepped = false;
    Show(dir.Path(), "a", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        const int first = v.Layout().ImageWidth();
        hostWindow.Post();
        told = WaitUntil([&] { return messages.load() > 0; }, 10000);
        stillOpen = !v.WaitUntilClosed(500);
        if (!stillOpen) return;
        v.Click(1);
        stepped = v.WaitForLayout([&](const ViewerLayout& l) { return l.ImageWidth() != first; });
        v.Key(VK_ESCAPE);
    }, "A");
    host.onMessage = nullptr;
    EXPECT_TRUE(told);
    EXPECT_TRUE(stillOpen) << "the viewer of the call still running was closed";
    EXPECT_TRUE(stepped);
    EXPECT_EQ(HostMessages(), Messages{L"Отсутствует файл с подписью клиента"});
}

TEST_F(Viewer, TheDeleteButtonIsBarredOnlyWhenDisabled) {
    WriteBmpImage(dir / "keep.bmp", 250, 30, RGB(1, 2, 3));
    Show(dir.Path(), "keep", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Click(2);
        EXPECT_TRUE(v.NoBoxAppears(500)) << "a disabled Delete asks nothing";
        v.Key(VK_ESCAPE);
    }, "T", "1", "0");
    EXPECT_TRUE(FileExists(dir / "keep.bmp"));
}

// --- keys and zoom --------------------------------------------------------------------------------

TEST_F(Viewer, KeypadPlusAndMinusDoubleAndHalveTheImage) {
    WriteBmpImage(dir / "z.bmp", 100, 50, RGB(40, 80, 120));
    Show(dir.Path(), "z", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Key(VK_ADD);
        v.Key(VK_ADD);
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 400; }));
        ExpectLayout(v.Layout(), {400, 200, 400, 225, 131, 134, 268});
        v.Key(VK_SUBTRACT);
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 200; }));
        ExpectLayout(v.Layout(), {200, 100, 240, 125, 78, 81, 162});
        v.Key(VK_ESCAPE);
    });
    // 300 x 151 halved: 150 x 75 (integer halves), the narrow buttons again.
    WriteBmpImage(dir / "h.bmp", 300, 151, RGB(40, 80, 120));
    Show(dir.Path(), "h", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Key(VK_SUBTRACT);
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 150; }));
        ExpectLayout(v.Layout(), {150, 75, 240, 100, 78, 81, 162});
        v.Key(VK_ESCAPE);
    });
}

TEST_F(Viewer, ZoomStepsCompoundUntilTheImageIsLoadedAgain) {
    WriteBmpImage(dir / "s1.bmp", 3, 3, RGB(1, 1, 1));
    WriteBmpImage(dir / "s2.bmp", 7, 7, RGB(1, 1, 1));
    Show(dir.Path(), "s", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        StepTo(v, 3);
        v.Key(VK_SUBTRACT);
        v.Key(VK_ADD);
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 2; }));
        EXPECT_EQ(v.Layout().ImageHeight(), 2) << "3 halved is 1, doubled 2";
        StepTo(v, 7);
        StepTo(v, 3);
        EXPECT_EQ(v.Layout().ImageHeight(), 3) << "loading gives the file's own pixels back";
        v.Key(VK_ESCAPE);
    });
}

TEST_F(Viewer, AZoomThatWouldLoseASideIsRefusedAndTheWindowStays) {
    WriteBmpImage(dir / "thin.bmp", 9, 1, RGB(1, 1, 1));
    SeenWindow box;
    Show(dir.Path(), "thin", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Key(VK_SUBTRACT);
        box = v.WaitForBox();
        v.Answer(box, box.buttonIds.empty() ? IDOK : box.buttonIds.front());
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(box.window); }, 5000));
        EXPECT_TRUE(v.ViewerOpen());
        EXPECT_EQ(v.Layout().ImageWidth(), 9);
        EXPECT_EQ(v.Layout().ImageHeight(), 1);
        v.Key(VK_ADD);
        EXPECT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 18; }));
        v.Key(VK_ESCAPE);
    });
    EXPECT_EQ(box.buttonIds.size(), 1u) << "the standard error box: one OK button";
    EXPECT_NE(FromAnsi(box.text).find(L"уменьшить"), std::wstring::npos) << box.text;
}

TEST_F(Viewer, AZoomBeyondTheSizeLimitIsRefused) {
    // Sizes chosen so that the test needs no more memory than a 32-bit process is sure to get:
    // the largest picture made is 52 MB.
    WriteBmpImage(dir / "big.bmp", 1800, 1800, RGB(1, 1, 1));
    SeenWindow box;
    Show(dir.Path(), "big", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Key(VK_ADD);  // 3600 x 3600: 13 million pixels, allowed
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 3600; }));
        v.Key(VK_ADD);  // 7200 x 7200: 52 million pixels, beyond the limit of 50 million, refused
        box = v.WaitForBox();
        v.Answer(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(box.window); }, 5000));
        EXPECT_EQ(v.Layout().ImageWidth(), 3600);
        v.Key(VK_ESCAPE);
    });
    EXPECT_NE(FromAnsi(box.text).find(L"увеличить"), std::wstring::npos) << box.text;
}

TEST_F(Viewer, OtherKeysDoNothing) {
    WriteBmpImage(dir / "k.bmp", 100, 50, RGB(1, 1, 1));
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        for (WORD key : {WORD(VK_OEM_PLUS), WORD(VK_OEM_MINUS), WORD(VK_RETURN), WORD('A'), WORD(VK_F2)}) v.Key(key);
        v.Key(VK_ADD);  // processed after the others: when it is done, so are they
        ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 200; }));
        EXPECT_TRUE(v.ViewerOpen());
        EXPECT_TRUE(v.NoBoxAppears(100));
        v.Key(VK_ESCAPE);
        EXPECT_TRUE(v.WaitUntilClosed());
    }, "T", "1", "0");  // Delete disabled, so that Enter on a focused button cannot delete
}

TEST_F(Viewer, EscapeClosesFromAnyFocusedButton) {
    WriteNumbered(dir, "e", {241, 242});
    for (int focus = 0; focus < 3; ++focus) {
        Show(dir.Path(), "e", [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            if (focus == 0) v.Click(1);  // Prev gets enabled, Next disabled: the focus moves
            for (int i = 0; i < focus; ++i) v.Key(VK_TAB);
            v.Key(VK_ESCAPE);
            EXPECT_TRUE(v.WaitUntilClosed()) << "focus step " << focus;
        });
    }
}

TEST_F(Viewer, TheKeyHelpNamesTheThreeCommands) {
    WriteBmpImage(dir / "k.bmp", 100, 50, RGB(1, 1, 1));
    SeenWindow box;
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Key(VK_F1);
        box = v.WaitForBox();
        v.Answer(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(box.window); }, 5000));
        EXPECT_TRUE(v.ViewerOpen());
        v.Key(VK_ESCAPE);
    });
    const std::wstring text = FromAnsi(box.text);
    std::vector<std::wstring> lines;
    for (std::size_t at = 0, next; at <= text.size(); at = next + 1) {
        next = text.find(L'\n', at);
        if (next == std::wstring::npos) next = text.size();
        lines.push_back(text.substr(at, next - at));
    }
    ASSERT_EQ(lines.size(), 3u) << box.text;
    EXPECT_NE(lines[0].find(L"+"), std::wstring::npos);
    EXPECT_NE(lines[0].find(L"цифровой"), std::wstring::npos) << "the keypad plus";
    EXPECT_NE(lines[1].find(L"-"), std::wstring::npos);
    EXPECT_NE(lines[1].find(L"цифровой"), std::wstring::npos) << "the keypad minus";
    EXPECT_EQ(lines[2], L"\"F7\" - печать");
    EXPECT_EQ(box.buttonIds.size(), 1u);
    EXPECT_EQ(box.iconStyle, 0u) << "no icon";
}

// --- double-clicks ----------------------------------------------------------------------------------

TEST_F(Viewer, DoubleClickingTheImageOrTheFreeAreaCloses) {
    WriteBmpImage(dir / "k.bmp", 100, 50, RGB(1, 1, 1));
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.DoubleClick(v.Image(), 10, 10);
        EXPECT_TRUE(v.WaitUntilClosed());
    });
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        // Right of the 100-pixel image, below the buttons: the form's own client area.
        v.DoubleClick(v.Viewer(), 200, 50);
        EXPECT_TRUE(v.WaitUntilClosed());
    });
    Show(dir.Path(), "k", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.DoubleClick(v.Button(2), 5, 5);  // the buttons have no double-click command
        EXPECT_FALSE(v.WaitUntilClosed(300));
        v.Key(VK_ESCAPE);
    }, "T", "1", "0");
}

// --- files that cannot be shown -------------------------------------------------------------------

TEST_F(Viewer, AnImageThatCannotBeLoadedGivesTheErrorBoxAndTheWindowStays) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
    };
    const Case cases[] = {
        {"bad.jpg", [](const std::string& p) { WriteBytes(p, std::string("\xFF\xD8\xFF\xE0 not really a jpeg", 24)); }},
        {"cut.jpg", [](const std::string& p) {
             WriteJpegImage(p, 300, 200, RGB(10, 200, 30));
             auto b = ReadBytes(p);
             b.resize(b.size() / 2);
             WriteBytes(p, b);
         }},
        {"huge.jpg", [](const std::string& p) {
             // A valid header claiming 60000 x 60000 pixels.
             WriteJpegImage(p, 16, 16, RGB(1, 2, 3));
             auto b = ReadBytes(p);
             for (std::size_t i = 2; i + 9 < b.size(); ++i) {
                 if (b[i] == 0xFF && b[i + 1] == 0xC0) {
                     b[i + 5] = 0xEA, b[i + 6] = 0x60, b[i + 7] = 0xEA, b[i + 8] = 0x60;
                     break;
                 }
             }
             WriteBytes(p, b);
         }},
        {"lie.bmp", [](const std::string& p) {
             WriteBmpImage(p, 50, 50, RGB(1, 2, 3));
             auto b = ReadBytes(p);
             const std::int32_t h = 100000;
             std::memcpy(b.data() + 22, &h, 4);
             WriteBytes(p, b);
         }},
        {"dir.jpg", [](const std::string& p) { ::CreateDirectoryA(p.c_str(), nullptr); }},
    };
    for (const Case& c : cases) {
        ScratchDir images;
        c.make(images / c.name);
        SeenWindow box;
        bool stayedOpen = false;
        bool refusedMeanwhile = true;
        Show(images.Path(), "", [&](ViewerSession& v) {
            // The first image is loaded as the window is shown: the box comes first.
            box = v.WaitForBox();
            if (&c == &cases[0]) {
                // Meanwhile the viewer is not on screen yet, but kvrshow runs: a second thread's
                // call is refused.
                const std::size_t before = host.messages.size();
                refusedMeanwhile = KvrshowFromAnotherThread(host, {images.Path(), "", "C", "1", "1"}) &&
                                   host.messages.size() == before + 1 &&
                                   FromOem(host.messages[before]) == L"Просмотр подписи уже открыт в другом потоке программы";
            }
            v.Answer(box, IDOK);
            ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(box.window); }, 5000));
            stayedOpen = v.WaitForViewer(5000) != nullptr && v.ViewerOpen();
            v.Key(VK_ESCAPE);
        });
        EXPECT_EQ(box.buttonIds.size(), 1u) << c.name;
        EXPECT_FALSE(box.text.empty()) << c.name;
        EXPECT_TRUE(stayedOpen) << c.name << ": the window stays open after the error box";
        EXPECT_TRUE(refusedMeanwhile) << c.name << ": a second thread's kvrshow while the box is up";
    }
}

TEST_F(Viewer, AVanishedFileGivesTheErrorBoxAfterTheButtonsMoved) {
    WriteNumbered(dir, "v", {241, 242});
    SeenWindow box;
    ViewerLayout after;
    Show(dir.Path(), "v", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        const int shown = v.Layout().ImageWidth();
        const int other = shown == 241 ? 242 : 241;
        ASSERT_TRUE(::DeleteFileA((dir / ("v" + std::to_string(other) + ".bmp")).c_str()));
        v.Click(1);
        box = v.WaitForBox();
        after = v.Layout();
        v.Answer(box, IDOK);
        WaitUntil([&] { return !::IsWindowVisible(box.window); }, 5000);
        EXPECT_TRUE(v.ViewerOpen());
        v.Key(VK_ESCAPE);
    });
    EXPECT_NE(FromAnsi(box.text).find(L"v24"), std::wstring::npos) << "the box names the file: " << box.text;
    EXPECT_TRUE(after.enabled[0]) << "the position has moved on";
    EXPECT_FALSE(after.enabled[1]);
}

// --- fast hands, the host's own loop, and the module's detach ------------------------------------

// What the host's own message loop does after kvrshow has returned: it dispatches whatever is still
// queued for the thread's windows (the hidden viewer's among them). Boxes that would appear are
// answered and counted.
std::size_t PumpLikeTheHost(DWORD forMs) {
    WindowWatcher watcher(PressFirstButton, 10000);
    const DWORD start = ::GetTickCount();
    MSG message;
    while (::GetTickCount() - start < forMs) {
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        ::Sleep(10);
    }
    return watcher.Answered().size();
}

TEST_F(Viewer, InputTypedAheadOfACloseOrAQuestionDoesNothing) {
    WriteNumbered(dir, "f", {241, 242});
    // Esc, and right behind it Next (a click and Enter) and Delete, typed before the viewer is gone:
    // what reaches the hidden viewer afterwards through the host's loop does nothing.
    Show(dir.Path(), "f", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Key(VK_ESCAPE);
        v.Click(1);
        ::PostMessageA(v.Button(1), WM_KEYDOWN, VK_RETURN, 1);
        v.Click(2);
    });
    EXPECT_EQ(PumpLikeTheHost(1000), 0u) << "no question, no error box";
    EXPECT_TRUE(FileExists(dir / "f241.bmp"));
    EXPECT_TRUE(FileExists(dir / "f242.bmp"));

    // Delete with Esc right behind it: the question's own loop gets the Esc, which must not close
    // the viewer under the question; Yes then deletes the image the operator saw, and no other.
    int shownBefore = 0, shownAfter = 0;
    bool openUnderTheQuestion = false;
    Show(dir.Path(), "f", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        shownBefore = v.Layout().ImageWidth();
        v.Click(2);
        ::PostMessageA(v.Button(2), WM_KEYDOWN, VK_ESCAPE, 1);
        const SeenWindow question = v.WaitForBox();
        ::Sleep(300);  // time for the queued Esc to be dispatched inside the question's loop
        openUnderTheQuestion = v.ViewerOpen();
        v.Answer(question, IDYES);
        ASSERT_TRUE(v.WaitForLayout([&](const ViewerLayout& l) { return l.ImageWidth() != shownBefore; }));
        shownAfter = v.Layout().ImageWidth();
        v.Key(VK_ESCAPE);
    });
    EXPECT_TRUE(openUnderTheQuestion);
    EXPECT_FALSE(FileExists(dir / NumberedFile("f", shownBefore)));
    EXPECT_TRUE(FileExists(dir / NumberedFile("f", shownAfter)));

    // The viewer closed while the question is open (the system asks it to close): the answer Yes
    // comes to a viewer the operator no longer sees, and nothing is deleted.
    WriteNumbered(dir, "g", {241, 242});
    Show(dir.Path(), "g", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        v.Click(2);
        const SeenWindow question = v.WaitForBox();
        ::PostMessageA(v.Viewer(), WM_CLOSE, 0, 0);
        ::Sleep(300);
        v.Answer(question, IDYES);
        EXPECT_TRUE(v.WaitUntilClosed());
    });
    EXPECT_EQ(PumpLikeTheHost(300), 0u);
    EXPECT_TRUE(FileExists(dir / "g241.bmp"));
    EXPECT_TRUE(FileExists(dir / "g242.bmp"));

    // While the key help is open, the viewer takes no other command: a click on Next or Delete
    // dispatched by the help box's loop does nothing.
    Show(dir.Path(), "g", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        const int first = v.Layout().ImageWidth();
        v.Key(VK_F1);
        const SeenWindow help = v.WaitForBox();
        v.Click(1);
        v.Click(2);
        ::Sleep(300);  // time for both clicks to be dispatched inside the help box's loop
        v.Answer(help, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(help.window); }, 5000));
        EXPECT_TRUE(v.NoBoxAppears(500)) << "no deletion question after the help";
        EXPECT_EQ(v.Layout().ImageWidth(), first) << "Next did nothing";
        v.Key(VK_ESCAPE);
    });
}

TEST_F(Viewer, ADriveRelativeDirectoryShowsAndDeletesTheFilesItLists) {
    // "Z:" with Z:'s current directory set to the client's folder: the listing finds the files
    // there, and each is opened -- and deleted -- there, not in the drive's root.
    WriteBmpImage(dir / "zr101.bmp", 101, 40, RGB(20, 140, 220));
    WriteBmpImage(dir / "zr102.bmp", 102, 40, RGB(20, 140, 220));
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_EQ(dir.Path().rfind("Z:\\", 0), 0u) << dir.Path();
    ASSERT_TRUE(::SetCurrentDirectoryA(dir.Path().c_str()));
    int shown = 0;
    Show("Z:", "zr", [&](ViewerSession& v) {
        ASSERT_NE(v.WaitForViewer(), nullptr);
        EXPECT_TRUE(v.NoBoxAppears(300)) << "the first file opened";
        shown = v.Layout().ImageWidth();
        v.Click(2);
        v.Answer(v.WaitForBox(), IDYES);
        ASSERT_TRUE(v.WaitForLayout([&](const ViewerLayout& l) { return l.ImageWidth() != shown; }));
        EXPECT_TRUE(v.NoBoxAppears(300)) << "the second file opened";
        v.Key(VK_ESCAPE);
    });
    ::SetCurrentDirectoryA(previous);
    EXPECT_TRUE(HostMessages().empty());
    ASSERT_TRUE(shown == 101 || shown == 102) << shown;
    EXPECT_FALSE(FileExists(dir / NumberedFile("zr", shown))) << "the listed file is the one deleted";
    EXPECT_TRUE(FileExists(dir / NumberedFile("zr", 203 - shown)));
}

// A copy of Kavrel.dll under a name of its own: a module of its own in this process, with its own
// state -- kept mapped by a detach or not -- whatever the other copies went through.
std::string DllCopy(const ScratchDir& d, const std::string& name) {
    const std::string path = d / (name + ".dll");
    EXPECT_TRUE(::CopyFileA(KavrelDllPath().c_str(), path.c_str(), FALSE));
    return path;
}

void ShowWith(hoststandin::ScriptHost& h, const std::string& directory, const std::string& key,
              const std::function<void(ViewerSession&)>& script) {
    ViewerDriver driver(script);
    EXPECT_TRUE(h.Call("kvrshow", {directory, key, "T", "1", "1"}));
}

// A host window of the test's thread that unloads the module when told, dispatched by whatever
// loop of the module runs then.
class UnloadingHostWindow {
public:
    static constexpr UINT kForwardDetach = WM_APP + 7;  // the host forwards the detach
    static constexpr UINT kFreeModule = WM_APP + 8;     // the host frees the module: the system detaches it
    explicit UnloadingHostWindow(hoststandin::ScriptHost& h) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &Proc;
        wc.lpszClassName = "KavrelTestUnloadingHostWindow";
        ::RegisterClassA(&wc);
        window_ = ::CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&h));
    }
    ~UnloadingHostWindow() {
        ::DestroyWindow(window_);
        ::UnregisterClassA("KavrelTestUnloadingHostWindow", nullptr);
    }
    void Post(UINT what) { ::PostMessageA(window_, what, 0, 0); }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        auto* h = reinterpret_cast<hoststandin::ScriptHost*>(::GetWindowLongPtrA(w, GWLP_USERDATA));
        if (m == kForwardDetach) h->DllMainForward(DLL_PROCESS_DETACH);
        if (m == kFreeModule) ::FreeLibrary(h->Module());
        return m == kForwardDetach || m == kFreeModule ? 0 : ::DefWindowProcA(w, m, wp, lp);
    }
    HWND window_ = nullptr;
};

TEST_F(Viewer, DetachingNeverLeavesAWindowWithoutItsCodeNorFreesARunningViewer) {
    WriteNumbered(dir, "t", {241, 242});
    ScratchDir copies;

    {
        // The host frees the module from a window of its own dispatched inside the viewer's loop,
        // without forwarding the detach: the system detaches it there. The viewer goes on working
        // -- its next image is a file that cannot be decoded, whose error (a C++ exception inside
        // the module) still becomes the error box -- and kvrshow returns as usual.
        hoststandin::ScriptHost h;
        ASSERT_TRUE(h.Load(DllCopy(copies, "system-detach"))) << h.LoadError();
        h.Start();
        UnloadingHostWindow unloader(h);
        WriteBytes(dir / "t243.jpg", "not a picture");
        bool errorBoxShown = false;
        ShowWith(h, dir.Path(), "t", [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            unloader.Post(UnloadingHostWindow::kFreeModule);
            ::Sleep(300);
            for (int i = 0; i < 3 && !errorBoxShown; ++i) {
                v.Click(1);
                const SeenWindow box = v.WaitForBox(3000);
                if (box.window) {
                    errorBoxShown = true;
                    v.Answer(box, IDOK);
                    WaitUntil([&] { return !::IsWindowVisible(box.window); }, 5000);
                }
            }
            EXPECT_TRUE(v.ViewerOpen());
            v.Key(VK_ESCAPE);
            EXPECT_TRUE(v.WaitUntilClosed());
        });
        EXPECT_TRUE(errorBoxShown);
        ::DeleteFileA((dir / "t243.jpg").c_str());
        EXPECT_TRUE(h.faults.empty());
    }
    {
        // The host forwards the detach from such a window: the running viewer is not freed under
        // its own loop, and goes on working.
        hoststandin::ScriptHost h;
        ASSERT_TRUE(h.Load(DllCopy(copies, "forwarded-detach"))) << h.LoadError();
        h.Start();
        UnloadingHostWindow unloader(h);
        bool stepped = false;
        ShowWith(h, dir.Path(), "t", [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            unloader.Post(UnloadingHostWindow::kForwardDetach);
            ::Sleep(300);
            v.Click(1);
            stepped = v.WaitForLayout([](const ViewerLayout& l) { return l.enabled[0]; });
            v.Key(VK_ESCAPE);
            EXPECT_TRUE(v.WaitUntilClosed());
        });
        EXPECT_TRUE(stepped);
        EXPECT_EQ(h.DllMainForward(DLL_PROCESS_ATTACH), TRUE) << "attached again afterwards";
    }
    {
        // kvrshow ran on another thread, whose hidden viewer stays; then on this thread, whose
        // viewer replaces it -- this thread cannot destroy a window of another thread: it asks
        // that thread to, when it next takes its messages. Until it does, the other viewer is
        // kept: this thread forwards the detach and frees the module, which stays mapped. Then the
        // other thread takes its messages, and its viewer goes, in code that is still there.
        hoststandin::ScriptHost h;
        const std::string copy = DllCopy(copies, "two-threads");
        ASSERT_TRUE(h.Load(copy)) << h.LoadError();
        h.Start();
        std::atomic<HWND> hidden{nullptr};
        std::atomic<bool> shown{false}, pump{false}, stop{false};
        std::thread other([&] {
            ShowWith(h, dir.Path(), "t", [&](ViewerSession& v) {
                hidden = v.WaitForViewer();
                v.Key(VK_ESCAPE);
                EXPECT_TRUE(v.WaitUntilClosed());
            });
            shown = true;
            WaitUntil([&] { return pump.load(); }, 60000);
            MSG message;
            while (!stop) {
                while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
                ::Sleep(5);
            }
        });
        ASSERT_TRUE(WaitUntil([&] { return shown.load(); }, 60000));
        ASSERT_NE(hidden.load(), nullptr);
        ShowWith(h, dir.Path(), "t", [&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            v.Key(VK_ESCAPE);
        });
        h.Unload();  // RslDllMain(DETACH), then FreeLibrary
        EXPECT_NE(::GetModuleHandleA(copy.c_str()), nullptr) << "kept while its windows exist";
        EXPECT_TRUE(::IsWindow(hidden));
        pump = true;
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(hidden); }, 30000)) << "destroyed on its own thread";
        stop = true;
        other.join();
    }
}

}  // namespace
}  // namespace kavrel::test
