// A machine without TWAIN_32.DLL in the Windows directory.
#include <gtest/gtest.h>

#include "support/kavrel_api.h"
#include "support/test_support.h"
#include "support/window_driver.h"

namespace kavrel::test {
namespace {

using Names = std::vector<std::string>;

class NoManager : public ::testing::Test {
protected:
    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const auto& d : watcher.Dialogs()) boxes.push_back(d.caption + "|" + d.text);
        return boxes;
    }
    KavrelApi kv;
    WindowWatcher watcher;
};

TEST_F(NoManager, NothingIsAvailable) {
    ASSERT_FALSE(FileExists("C:\\windows\\TWAIN_32.DLL"));
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 0);
    EXPECT_EQ(kv.TWAIN_LoadSourceManager(), 0);
    EXPECT_EQ(kv.TWAIN_OpenSourceManager(nullptr), 0);
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(NoManager, AcquiringAndSelectingSayTheManagerCannotBeLoaded) {
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(kv.TWAIN_SelectImageSource(nullptr), 0);
    EXPECT_EQ(Boxes(), (Names{"TWAIN Error|Unable to load Source Manager (TWAIN_32.DLL)",
                              "TWAIN Error|Unable to load Source Manager (TWAIN_32.DLL)"}));
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_EQ(::FindWindowA("Static", "Acquire Proxy"), nullptr) << "no proxy window is left behind";
}

TEST_F(NoManager, TheFirstAnswerIsKeptUntilTheManagerIsReallyLoaded) {
    const std::string dsm = "C:\\windows\\TWAIN_32.DLL";
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 0);
    // A manager installed afterwards is not looked for again...
    ASSERT_TRUE(::CopyFileA(WindowsPath(KAVREL_SCRIPTED_DSM_PATH).c_str(), dsm.c_str(), FALSE));
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 0);
    // ...until another export loads it; from then on the answer is yes.
    EXPECT_EQ(kv.TWAIN_LoadSourceManager(), 1);
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 1);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_TRUE(::DeleteFileA(dsm.c_str()));
}

}  // namespace
}  // namespace kavrel::test
