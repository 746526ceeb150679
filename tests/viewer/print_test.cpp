// F7 in the viewer prints on the default printer: a real CUPS queue whose jobs become PDF files
// (cups-pdf), turned into pixels with pdftoppm. Without a printer, F7 gives the error box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "support/import_patch.h"
#include "support/test_support.h"
#include "tools/kvrhost/script_host.h"
#include "viewer/viewer_driver.h"

namespace kavrel::test {
namespace {

// The PDF files cups-pdf has written for this user.
std::string PdfDirectory() {
    char home[MAX_PATH] = {};
    ::GetEnvironmentVariableA("HOME", home, sizeof home);
    return WindowsPath(std::string(home[0] ? home : "/root") + "/PDF");
}

std::vector<std::string> PdfFiles() {
    std::vector<std::string> files;
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((PdfDirectory() + "\\*.pdf").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return files;
    do files.push_back(PdfDirectory() + "\\" + entry.cFileName);
    while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return files;
}

struct Page {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

// A binary PPM (P6) as pdftoppm writes it.
Page ReadPpm(const std::string& path) {
    Page page;
    const auto bytes = ReadBytes(path);
    std::size_t at = 0;
    auto token = [&] {
        while (at < bytes.size() && std::isspace(bytes[at])) ++at;
        std::string t;
        while (at < bytes.size() && !std::isspace(bytes[at])) t += static_cast<char>(bytes[at++]);
        return t;
    };
    if (token() != "P6") return page;
    page.width = std::atoi(token().c_str());
    page.height = std::atoi(token().c_str());
    token();  // the maximum value, 255
    ++at;
    page.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    if (page.rgb.size() < static_cast<std::size_t>(page.width) * page.height * 3) page = {};
    return page;
}

class Printing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
        host.Start();
        WriteBmpImage(dir / "sig.bmp", 100, 50, RGB(200, 30, 40));
    }
    hoststandin::ScriptHost host;
    ScratchDir dir;
};

TEST_F(Printing, F7PrintsTheShownImageFiveTimesItsSizeAtTheTopLeft) {
    const auto before = PdfFiles();
    std::string pdf;
    host.ClearRecords();
    {
        ViewerDriver driver([&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            v.Key(VK_ADD);  // 200 x 100 on the screen
            ASSERT_TRUE(v.WaitForLayout([](const ViewerLayout& l) { return l.ImageWidth() == 200; }));
            v.Key(VK_F7);
            // The job is with the spooler when F7 has been handled; the PDF follows.
            ASSERT_TRUE(WaitUntil([&] { return PdfFiles().size() > before.size(); }, 60000)) << "no PDF appeared";
            EXPECT_TRUE(v.NoBoxAppears(200)) << "printing shows nothing";
            EXPECT_TRUE(v.ViewerOpen());
            v.Key(VK_ESCAPE);
        });
        ASSERT_TRUE(host.Call("kvrshow", {dir.Path(), "sig", "T", "1", "1"}));
    }
    for (const auto& f : PdfFiles()) {
        if (std::find(before.begin(), before.end(), f) == before.end()) pdf = f;
    }
    ASSERT_FALSE(pdf.empty());
    // cups-pdf writes the file while the job runs: wait until it is complete.
    std::size_t size = 0;
    WaitUntil([&] {
        const std::size_t now = ReadBytes(pdf).size();
        const bool stable = now > 0 && now == size;
        size = now;
        if (!stable) ::Sleep(200);
        return stable;
    }, 30000);

    const std::string out = dir.UnixPath() + "/page";
    ASSERT_EQ(RunUnix("pdftoppm -r 300 '" + UnixPathOf(pdf) + "' '" + out + "'"), 0);
    ASSERT_TRUE(FileExists(dir / "page-1.ppm")) << "one page";
    EXPECT_FALSE(FileExists(dir / "page-2.ppm")) << "and only one";
    const Page page = ReadPpm(dir / "page-1.ppm");
    ASSERT_GT(page.width, 1000);
    ASSERT_GT(page.height, 500);
    // The bounding box of the red picture on the white page.
    int left = page.width, top = page.height, right = -1, bottom = -1;
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) {
            const std::uint8_t* p = page.rgb.data() + (static_cast<std::size_t>(y) * page.width + x) * 3;
            if (p[0] > 150 && p[1] < 90 && p[2] < 100) {
                left = std::min(left, x), top = std::min(top, y);
                right = std::max(right, x), bottom = std::max(bottom, y);
            }
        }
    }
    ASSERT_GE(right, 0) << "the picture is on the page";
    EXPECT_NEAR(right - left + 1, 1000, 3) << "5 printer pixels for each of 200 shown";
    EXPECT_NEAR(bottom - top + 1, 500, 3);
    // At the top left of the printable area: within the page's margin of the corner.
    EXPECT_LT(left, 300);
    EXPECT_LT(top, 300);
    ::DeleteFileA(pdf.c_str());
}

TEST_F(Printing, ADrawingThePrinterDoesNotCarryOutIsAFailureAndNoPage) {
    // The print road itself, below the viewer: the page's drawing is checked, and one the printer
    // does not carry out abandons the job with an error for the box, instead of sending a blank
    // page to the spooler as printed. (No drawing of a picture the viewer makes is refused by this
    // printer: the page's drawing is made to fail.)
    const auto before = PdfFiles();
    HMODULE probe = ::LoadLibraryA(WindowsPath(KAVREL_PRINT_PROBE_PATH).c_str());
    ASSERT_NE(probe, nullptr);
    using PrintProbe = int(__stdcall*)(int drawingFails, char* error, int errorSize);
    const auto print = reinterpret_cast<PrintProbe>(reinterpret_cast<void*>(::GetProcAddress(probe, "PrintProbe")));
    ASSERT_NE(print, nullptr);
    char error[512] = {};
    ASSERT_EQ(print(0, error, sizeof error), 1) << "the printer is there: " << error;
    ASSERT_TRUE(WaitUntil([&] { return PdfFiles().size() > before.size(); }, 60000)) << "its page arrives";
    EXPECT_EQ(print(1, error, sizeof error), 0);
    // "...не смог напечатать a test page": the drawing's own message, not that of a missing printer.
    EXPECT_NE(FromAnsi(error).find(L"не смог напечатать a test page"), std::wstring::npos) << error;
    ::FreeLibrary(probe);
    ::Sleep(3000);  // time for a job that should not exist to arrive
    const auto after = PdfFiles();
    EXPECT_EQ(after.size(), before.size() + 1) << "the one page printed, and no other";
    for (const auto& f : after) {
        if (std::find(before.begin(), before.end(), f) == before.end()) ::DeleteFileA(f.c_str());
    }
}

// The jobs the print road abandons, counted where it calls the system.
int abortedJobs = 0;
decltype(&::AbortDoc) realAbortDoc = nullptr;
int WINAPI CountAbortDoc(HDC dc) {
    ++abortedJobs;
    return realAbortDoc(dc);
}

TEST_F(Printing, AJobWhoseDrawingThrowsIsAbandoned) {
    // However the print road is left after the job started, the job is not left open in the spooler.
    HMODULE probe = ::LoadLibraryA(WindowsPath(KAVREL_PRINT_PROBE_PATH).c_str());
    ASSERT_NE(probe, nullptr);
    using PrintProbe = int(__stdcall*)(int drawingFails, char* error, int errorSize);
    const auto print = reinterpret_cast<PrintProbe>(reinterpret_cast<void*>(::GetProcAddress(probe, "PrintProbe")));
    ASSERT_NE(print, nullptr);
    {
        ImportPatch aborts(probe, "gdi32.dll", "AbortDoc", &CountAbortDoc);
        ASSERT_TRUE(aborts.Holds());
        realAbortDoc = aborts.Original<int WINAPI(HDC)>();
        char error[512] = {};
        EXPECT_EQ(print(2, error, sizeof error), 0);
        EXPECT_STREQ(error, "drawing threw");
        EXPECT_EQ(abortedJobs, 1);
    }
    ::FreeLibrary(probe);
}

}  // namespace
}  // namespace kavrel::test
