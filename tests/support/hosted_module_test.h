// A test that calls the script functions as the interpreter does: this build's Kavrel.dll loaded
// and started by the script host stand-in before each case, and no boundary misbehaviour allowed
// by the end of it. Fixtures that need more set-up call these first (or last, as they need).
#pragma once

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tools/kvrhost/script_host.h"

namespace kavrel::test {

class HostedModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
        host.Start();
    }
    void TearDown() override { EXPECT_TRUE(host.faults.empty()) << host.faults.front(); }

    hoststandin::ScriptHost host;
};

}  // namespace kavrel::test
