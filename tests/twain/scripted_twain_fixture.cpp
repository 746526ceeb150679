#include "twain/scripted_twain_fixture.h"

namespace kavrel::test {

ScriptedTwain::ScriptedTwain() {
    window = ::CreateWindowExA(0, "STATIC", "test window", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, nullptr, nullptr);
}

ScriptedTwain::~ScriptedTwain() {
    if (window) ::DestroyWindow(window);
}

void ScriptedTwain::ToState(int state) {
    ASSERT_TRUE(kv.Loaded());
    if (state >= 2) {
        ASSERT_EQ(kv.TWAIN_LoadSourceManager(), 1);
    }
    if (state >= 3) {
        ASSERT_EQ(kv.TWAIN_OpenSourceManager(window), 1);
    }
    if (state >= 4) {
        ASSERT_EQ(kv.TWAIN_OpenDefaultSource(), 1);
    }
    if (state >= 5) {
        ASSERT_EQ(kv.TWAIN_EnableSource(window), 1);
    }
    ASSERT_EQ(kv.TWAIN_State(), state);
}

std::vector<std::string> ScriptedTwain::Boxes() const {
    std::vector<std::string> boxes;
    for (const auto& d : watcher.Dialogs()) boxes.push_back(d.caption + "|" + d.text);
    return boxes;
}

}  // namespace kavrel::test
