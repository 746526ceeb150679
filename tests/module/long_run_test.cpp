// A working day in one host process: kvrprov 10,000 times, 200 scans with the scanner's interface
// hidden, the viewer opened and closed 200 times. The process's handles, GDI and USER objects and
// private memory must stay flat: each is measured after a few rounds (once caches and the
// system's first-use costs are in) and again at the end, and both figures are printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "support/kavrel_api.h"
#include "support/process_resources.h"
#include "support/test_support.h"
#include "support/window_driver.h"
#include "support/hosted_module_test.h"
#include "tools/kvrhost/script_host.h"
#include "viewer/viewer_driver.h"

namespace kavrel::test {
namespace {

// What a long run may gain without leaking: heaps and caches settle in steps, not per call.
constexpr long kHandleSlack = 4;
constexpr long kGdiSlack = 4;
constexpr long kUserSlack = 2;
constexpr long long kPrivateSlack = 6 << 20;

class LongRun : public HostedModuleTest {
protected:
    // Runs `round` `rounds` times after `warmUp` rounds, measuring before and after; every round
    // must succeed.
    void Run(const char* what, int warmUp, int rounds, const std::function<bool(int)>& round) {
        for (int i = 0; i < warmUp; ++i) ASSERT_TRUE(round(i)) << what << ", warm-up round " << i;
        const ProcessResources first = MeasureProcessResources();
        for (int i = 0; i < rounds; ++i) ASSERT_TRUE(round(warmUp + i)) << what << ", round " << i;
        const ProcessResources last = MeasureProcessResources();
        std::printf("%s, %d rounds:\n  first: %s\n  last:  %s\n", what, rounds, first.Describe().c_str(),
                    last.Describe().c_str());
        std::fflush(stdout);
        EXPECT_LE(last.handles, first.handles + kHandleSlack) << what;
        EXPECT_LE(last.gdiObjects, first.gdiObjects + kGdiSlack) << what;
        EXPECT_LE(last.userObjects, first.userObjects + kUserSlack) << what;
        EXPECT_LE(last.privateBytes, first.privateBytes + kPrivateSlack) << what;
    }

    ScratchDir dir;
};

TEST_F(LongRun, KvrprovTenThousandTimes) {
    WriteBytes(dir / "40817810000000000001_1.jpg", "x");
    for (int i = 0; i < 50; ++i) WriteBytes(dir / ("other" + std::to_string(i) + ".jpg"), "x");
    Run("kvrprov", 100, 10000, [&](int i) {
        host.ClearRecords();
        const bool present = i % 2 == 0;
        if (!host.Call("kvrprov", {"", dir.Path(), present ? "40817810000000000001" : "40817810000000000002"})) {
            return false;
        }
        return host.integers.size() == 1 && host.integers[0].value == (present ? 0 : 1);
    });
}

TEST_F(LongRun, TwoHundredScans) {
    const std::string ini = dir / "virtual-scanner.ini";
    WriteBytes(ini, "[Scanner]\r\nWidth=300\r\nHeight=120\r\n");
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
    KavrelApi kv;  // the host's Kavrel.dll: its scans hide the scanner's interface
    kv.TWAIN_SetHideUI(1);
    const std::string signatures = dir.Subdir("signatures");
    Run("kvrscan", 5, 200, [&](int) {
        host.ClearRecords();
        WindowWatcher watcher([](const SeenWindow& w) {
            // The manager's source selection: the operator presses OK.
            if (w.className == "#32770" && ::FindWindowExA(w.window, nullptr, "ListBox", nullptr)) return IDOK;
            return 0;
        });
        return host.Call("kvrscan", {signatures, "40817810000000000001", "result"}) && host.integers.size() == 1 &&
               host.integers[0].value == 0;
    });
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
}

TEST_F(LongRun, TheViewerTwoHundredTimes) {
    WriteBmpImage(dir / "k_1.bmp", 120, 60, RGB(10, 20, 30));
    WriteJpegImage(dir / "k_2.jpg", 120, 60, RGB(30, 20, 10));
    Run("kvrshow", 5, 200, [&](int) {
        bool closed = false;
        {
            ViewerDriver driver([&](ViewerSession& v) {
                if (!v.WaitForViewer()) return;
                v.Click(1);  // Next: the JPEG, so that both kinds are loaded every time
                v.Key(VK_ESCAPE);
                closed = v.WaitUntilClosed();
            });
            host.ClearRecords();
            if (!host.Call("kvrshow", {dir.Path(), "k", "title", "1", "1"})) return false;
        }
        return closed && host.messages.empty();
    });
}

}  // namespace
}  // namespace kavrel::test
