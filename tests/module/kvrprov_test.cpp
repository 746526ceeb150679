// kvrprov through the host boundary: directory listings against the signature-file rule.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/test_support.h"
#include "support/hosted_module_test.h"
#include "tools/kvrhost/script_host.h"

namespace kavrel::test {
namespace {

class Kvrprov : public HostedModuleTest {
protected:
    void TearDown() override {
        HostedModuleTest::TearDown();
        EXPECT_TRUE(host.messages.empty()) << "kvrprov never sends a message";
    }

    // kvrprov's answer for a directory and a key; exactly one integer, into argument 0.
    int Answer(const std::string& directory, const std::string& key) {
        host.ClearRecords();
        EXPECT_TRUE(host.Call("kvrprov", {"incoming value is never read", directory, key}));
        EXPECT_EQ(host.integers.size(), 1u);
        if (host.integers.size() != 1) return -1;
        EXPECT_EQ(host.integers[0].index, 0);
        EXPECT_EQ(host.integers[0].typeCode, 1);
        return host.integers[0].value;
    }

    void Touch(const std::string& name) { WriteBytes(dir / name, "signature"); }

    ScratchDir dir;
};

TEST_F(Kvrprov, EndingsAreComparedCaseSensitively) {
    Touch("ab12.JPG");
    Touch("ab12.Bmp");
    Touch("ab12.jpeg");
    Touch("ab12.jpg.txt");
    Touch("ab12jpg");
    EXPECT_EQ(Answer(dir.Path(), "AB12"), 1);
    Touch("ab12 копия.bmp");
    EXPECT_EQ(Answer(dir.Path(), "AB12"), 0);
}

TEST_F(Kvrprov, KeyIsFoldedForLatinAndCyrillicLetters) {
    Touch("ab12_2.jpg");
    EXPECT_EQ(Answer(dir.Path(), "AB12"), 0);
    EXPECT_EQ(Answer(dir.Path(), "aB12_"), 0);

    ScratchDir cyrillic;
    WriteBytes(cyrillic / Ansi(L"иванов ёлка 1.jpg"), "x");
    EXPECT_EQ(Answer(cyrillic.Path(), Ansi(L"ИВАНОВ ЁЛКА")), 0);
    EXPECT_EQ(Answer(cyrillic.Path(), Ansi(L"Иванов")), 0);
    EXPECT_EQ(Answer(cyrillic.Path(), Ansi(L"Петров")), 1);
}

TEST_F(Kvrprov, FilesNamedOnTheLinuxSideInUtf8AreMatched) {
    // Fixtures arriving from outside Wine: the glibc locale lets Wine decode their names.
    ASSERT_EQ(RunUnix("touch '" + dir.UnixPath() + "/СИДОРОВ.bmp'"), 0);
    EXPECT_EQ(Answer(dir.Path(), Ansi(L"сидоров")), 0);
}

TEST_F(Kvrprov, KeyIsAPrefixOfTheName) {
    Touch("123.bmp");
    EXPECT_EQ(Answer(dir.Path(), "1234"), 1) << "123.bmp begins with 123 and a dot";
    ScratchDir other;
    WriteBytes(other / "1234.bmp", "x");
    EXPECT_EQ(Answer(other.Path(), "123"), 0);
    EXPECT_EQ(Answer(other.Path(), "1234.bmp"), 0) << "the whole name is a prefix of itself";
    EXPECT_EQ(Answer(other.Path(), "1234.bmpx"), 1) << "a key longer than the name never matches";
}

TEST_F(Kvrprov, EmptyKeyMatchesAnySignatureFile) {
    Touch("notes.txt");
    Touch("scan.JPG");
    EXPECT_EQ(Answer(dir.Path(), ""), 1);
    Touch(".jpg");  // a name that is only the ending qualifies
    EXPECT_EQ(Answer(dir.Path(), ""), 0);
}

TEST_F(Kvrprov, TrailingSeparatorGivesTheSameAnswer) {
    Touch("777.jpg");
    EXPECT_EQ(Answer(dir.Path(), "777"), 0);
    EXPECT_EQ(Answer(dir.Path() + "\\", "777"), 0);
    EXPECT_EQ(Answer(dir.Path() + "/", "777"), 0);
    EXPECT_EQ(Answer(dir.Path() + "\\", "778"), 1);
}

TEST_F(Kvrprov, ASubdirectoryWithASignatureNameCounts) {
    dir.Subdir("4711.jpg");
    EXPECT_EQ(Answer(dir.Path(), "4711"), 0);
    EXPECT_EQ(Answer(dir.Path(), "4712"), 1);
}

TEST_F(Kvrprov, HiddenAndSystemEntriesCount) {
    Touch("55.bmp");
    ASSERT_TRUE(::SetFileAttributesA((dir / "55.bmp").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(Answer(dir.Path(), "55"), 0);
    // Wine shows Linux dot files as hidden.
    Touch(".66.jpg");
    EXPECT_EQ(Answer(dir.Path(), ".66"), 0);
}

TEST_F(Kvrprov, OnlyAnExistingDirectoryIsListed) {
    Touch("88.jpg");
    EXPECT_EQ(Answer(dir / "88.jpg", "88"), 2) << "a plain file is not a directory";
    EXPECT_EQ(Answer(dir / "missing", "88"), 2);
    EXPECT_EQ(Answer("", "88"), 2);
}

TEST_F(Kvrprov, ADirectoryThatCannotBeListedAnswers2) {
    const std::string locked = dir.Subdir("locked");
    WriteBytes(locked + "\\99.jpg", "x");
    LockPath(locked);
    ASSERT_NE(::GetFileAttributesA(locked.c_str()), INVALID_FILE_ATTRIBUTES) << "it still exists";
    EXPECT_EQ(Answer(locked, "99"), 2);
    UnlockPath(locked);
    EXPECT_EQ(Answer(locked, "99"), 0);
}

TEST_F(Kvrprov, EveryEntryOfALargeDirectoryIsLookedAt) {
    // The client's file is the last of a thousand others.
    ASSERT_EQ(RunUnix("cd '" + dir.UnixPath() + "' && seq -f 'C%05g.jpg' 1 1000 | xargs touch"), 0);
    EXPECT_EQ(Answer(dir.Path(), "C00999"), 0);
    EXPECT_EQ(Answer(dir.Path(), "C01001"), 1);
}

}  // namespace
}  // namespace kavrel::test
