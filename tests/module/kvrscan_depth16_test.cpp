// kvrscan on a display of 16 bits a pixel: the scan passes through the display's format (five
// bits of red and blue, six of green) on its way into the JPEG.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/jpeg_inspect.h"
#include "support/test_support.h"
#include "support/window_driver.h"
#include "tools/kvrhost/script_host.h"
#include "tools/virtual_scanner/test_pattern.h"

namespace kavrel::test {
namespace {

TEST(KvrscanOn16BitDisplay, ColoursPassThroughTheDisplaysFormat) {
    {
        HDC screen = ::GetDC(nullptr);
        const int bits = ::GetDeviceCaps(screen, BITSPIXEL);
        ::ReleaseDC(nullptr, screen);
        ASSERT_EQ(bits, 16) << "this test needs a 16-bit display";
    }
    ScratchDir dir;
    const std::string ini = dir / "virtual-scanner.ini";
    WriteBytes(ini, "[Scanner]\r\nWidth=240\r\nHeight=100\r\n");
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
    hoststandin::ScriptHost host;
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
    host.Start();
    {
        WindowWatcher watcher([](const SeenWindow& w) {
            if (w.className == "KavrelVirtualScanner") {
                ::PostMessageA(w.window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
                return 1;
            }
            return w.className == "#32770" ? IDOK : 0;
        });
        ASSERT_TRUE(host.Call("kvrscan", {dir.Path(), "s16", "-"}));
    }
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
    ASSERT_EQ(host.integers.size(), 1u);
    ASSERT_EQ(host.integers[0].value, 0);

    int width = 0, height = 0;
    const auto rgb = DecodeJpeg(ReadBytes(dir / "s16.jpg"), &width, &height);
    ASSERT_EQ(width, 240);
    ASSERT_EQ(height, 100);
    // Compared with the pattern as scanned and with the pattern as a 5-6-5 display holds it, the
    // JPEG is closer to the latter: the colours went through the display's format.
    // A 5-bit channel keeps the top five bits; read back, they are repeated into the low ones.
    auto quantised = [](int v, int bits) {
        const int kept = v >> (8 - bits);
        return (kept << (8 - bits)) | (kept >> (2 * bits - 8));
    };
    double fromScan = 0, fromDisplay = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto c = vscan::PatternColour(x, y, width, height, 0);
            const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            fromScan += std::abs(p[0] - c.red) + std::abs(p[2] - c.blue);
            fromDisplay += std::abs(p[0] - quantised(c.red, 5)) + std::abs(p[2] - quantised(c.blue, 5));
        }
    }
    EXPECT_LT(fromDisplay, fromScan * 0.8) << "mean " << fromDisplay / (2.0 * width * height) << " against "
                                           << fromScan / (2.0 * width * height);
    EXPECT_LT(fromDisplay / (2.0 * width * height), 3.0);
    std::printf("mean difference from the display format %.2f, from the scan %.2f\n", fromDisplay / (2.0 * width * height), fromScan / (2.0 * width * height));
}

}  // namespace
}  // namespace kavrel::test
