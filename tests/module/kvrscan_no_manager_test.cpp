// kvrscan on a machine without a TWAIN Source Manager.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/window_driver.h"
#include "tools/kvrhost/script_host.h"

namespace kavrel::test {
namespace {

TEST(KvrscanWithoutManager, AnswersCode4BeforeLookingAtTheDirectory) {
    hoststandin::ScriptHost host;
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
    host.Start();
    WindowWatcher watcher;
    for (int call = 0; call < 2; ++call) {
        host.ClearRecords();
        ASSERT_TRUE(host.Call("kvrscan", {"Z:\\no\\such\\directory", "x", "result"}));
        ASSERT_EQ(host.integers.size(), 1u);
        EXPECT_EQ(host.integers[0].index, 2);
        EXPECT_EQ(host.integers[0].value, 4);
        ASSERT_EQ(host.messages.size(), 1u) << "only the one message";
        EXPECT_EQ(FromOem(host.messages[0]), L"В системе отсутствует TWAIN-устройство");
    }
    EXPECT_TRUE(watcher.Answered().empty()) << "no dialog or box of the library";
    EXPECT_TRUE(host.faults.empty());
}

}  // namespace
}  // namespace kavrel::test
