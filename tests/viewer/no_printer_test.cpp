// F7 on a workstation without a printer: the standard error box, and the window stays open.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tools/kvrhost/script_host.h"
#include "viewer/viewer_driver.h"

namespace kavrel::test {
namespace {

TEST(NoPrinter, F7GivesTheErrorBoxAndTheWindowStaysOpen) {
    hoststandin::ScriptHost host;
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
    host.Start();
    ScratchDir dir;
    WriteBmpImage(dir / "sig.bmp", 100, 50, RGB(200, 30, 40));
    SeenWindow box;
    bool open = false;
    {
        ViewerDriver driver([&](ViewerSession& v) {
            ASSERT_NE(v.WaitForViewer(), nullptr);
            v.Key(VK_F7);
            box = v.WaitForBox();
            v.Answer(box, IDOK);
            WaitUntil([&] { return !::IsWindowVisible(box.window); }, 5000);
            open = v.ViewerOpen();
            v.Key(VK_ESCAPE);
        });
        ASSERT_TRUE(host.Call("kvrshow", {dir.Path(), "sig", "T", "1", "1"}));
    }
    EXPECT_TRUE(open);
    EXPECT_EQ(box.buttonIds.size(), 1u);
    EXPECT_NE(FromAnsi(box.text).find(L"принтер"), std::wstring::npos) << box.text;
    EXPECT_TRUE(host.messages.empty()) << "the host hears nothing of it";
}

}  // namespace
}  // namespace kavrel::test
