// A fresh Kavrel.dll against the scripted manager, with every message box answered (OK) and
// recorded by a watcher thread.
#pragma once

#include <gtest/gtest.h>

#include "support/kavrel_api.h"
#include "support/window_driver.h"
#include "twain/scripted_dsm_client.h"

namespace kavrel::test {

class ScriptedTwain : public ::testing::Test {
protected:
    ScriptedTwain();
    ~ScriptedTwain() override;

    // Walks the state machine up to `state` (2 to 5), expecting every step to succeed.
    void ToState(int state);

    // The message boxes shown so far, as "caption|text".
    std::vector<std::string> Boxes() const;

    ScriptedDsm dsm;  // first: the manager is resident before the library loads it
    KavrelApi kv;
    WindowWatcher watcher;
    HWND window = nullptr;  // an ordinary window of the test, for calls that take one
};

}  // namespace kavrel::test
