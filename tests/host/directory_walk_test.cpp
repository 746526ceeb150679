// The directory walk asks the file system for a superset of a client's files by pattern and
// applies the exact rule to what comes back. Its answers, and their order, must be those of the
// full walk (every entry of "*.*" put to the rule) -- whatever the keys and names: Latin and
// Cyrillic letters in every letter case, wildcard characters in keys and in names, names whose
// short 8.3 form matches where the long one does not, sub-directories. The directories are made
// from the Linux side, with UTF-8 names, as a file server's would be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/signature_files.h"
#include "support/test_support.h"

namespace kavrel::test {
namespace {

using Names = std::vector<std::string>;

std::string Utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// Makes the entries in the directory from the Linux side: files, and directories for names that
// end in "/".
void MakeEntries(const ScratchDir& dir, const std::vector<std::wstring>& entries) {
    std::string files, directories;
    for (const std::wstring& e : entries) {
        if (!e.empty() && e.back() == L'/') {
            directories += Utf8(e.substr(0, e.size() - 1)) + '\0';
        } else {
            files += Utf8(e) + '\0';
        }
    }
    WriteBytes(dir / "files.list", files);
    WriteBytes(dir / "dirs.list", directories);
    const std::string at = "'" + dir.UnixPath() + "'";
    ASSERT_EQ(RunUnix("cd " + at + " && xargs -0 -r touch -- < files.list && xargs -0 -r mkdir -- < dirs.list"
                      " && rm files.list dirs.list"),
              0);
}

// The reference: every entry of the full listing, put to the rule, in listing order.
Names FullWalk(const std::string& directory, const std::string& key, KeyMode mode) {
    Names names;
    WIN32_FIND_DATAA entry{};
    HANDLE find = ::FindFirstFileA((directory + "\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (IsSignatureFile(entry.cFileName, key, mode)) names.emplace_back(entry.cFileName);
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return names;
}

void ExpectSameAsTheFullWalk(const std::string& directory, const std::vector<std::wstring>& keys) {
    for (const std::wstring& wideKey : keys) {
        const std::string key = Ansi(wideKey);
        for (KeyMode mode : {KeyMode::IgnoreCase, KeyMode::ExactBytes}) {
            const auto walked = ListSignatureFiles(directory, key, mode);
            ASSERT_TRUE(walked) << directory;
            const Names expected = FullWalk(directory, key, mode);
            EXPECT_EQ(*walked, expected) << "key \"" << key << "\" (pattern " << SignatureSearchPattern(key, mode)
                                          << "), " << (mode == KeyMode::IgnoreCase ? "any case" : "exact bytes");
            // The walk that stops at the first gives the full walk's first.
            const auto first = ListSignatureFiles(directory, key, mode, 1);
            ASSERT_TRUE(first);
            EXPECT_EQ(*first, expected.empty() ? Names{} : Names{expected.front()}) << key;
        }
    }
}

TEST(DirectoryWalk, AnswersAndOrderAreTheFullWalks) {
    ScratchDir dir;
    MakeEntries(dir, {
        // Latin keys in every letter case.
        L"Ivanov_1.jpg", L"IVANOV_2.bmp", L"ivanov_3.jpg", L"iVaNoV.bmp", L"Ivanov.JPG", L"Ivanov.jpeg",
        L"Ivan.jpg", L"Ivanova_1.jpg", L"xIvanov.jpg",
        // Cyrillic, with Ё and ё.
        L"Иванов_1.jpg", L"ИВАНОВ_2.bmp", L"иванов 3.jpg", L"Ёлкин.bmp", L"ёлкин_2.jpg", L"ЕЛКИН.jpg",
        L"Іванов.jpg",
        // Account numbers, one of them a directory.
        L"40817810000000000001.jpg", L"40817810000000000001_2.bmp", L"408178100000000000011.jpg",
        L"40817810000000000001_dir.jpg/", L"4081781000000000000.jpg",
        // Wildcard and pattern characters in names.
        L"a*b_1.jpg", L"a?b_2.bmp", L"a.b_3.jpg", L"axb_4.jpg", L"a b_5.jpg", L"k[1].jpg", L"k1.jpg",
        L"a<b>.jpg",
        // Long names whose short form begins differently from the long one.
        L"ab cd ef gh.jpg", L"ABCDEF~1.jpg", L"longer name than eight.bmp", L".jpg", L"..bmp",
        // Not signatures at all.
        L"Ivanov_1.txt", L"readme",
    });
    ExpectSameAsTheFullWalk(dir.Path(), {
        L"Ivanov", L"IVANOV", L"ivanov", L"Ivanov_1", L"Иванов", L"ИВАНОВ", L"иванов", L"ёлкин", L"ЁЛКИН", L"Елкин",
        L"Іванов", L"40817810000000000001", L"408178", L"a*b", L"a?b", L"a.b", L"a b", L"k[1]", L"a<b>", L"ABCD",
        L"ABCDEF~", L"longer", L"", L".", L"..", L"*", L"?", L"no such client", L"Ivanov_1.jpg",
    });
}

TEST(DirectoryWalk, AHundredThousandEntriesGiveTheSameAnswers) {
    // The client's files first, last, and not at all among 100,000 others.
    ScratchDir dir;
    ASSERT_EQ(RunUnix("cd '" + dir.UnixPath() + "' && touch 00000-first_1.jpg && "
                      "seq -f 'C%06.0f_1.jpg' 1 100000 | xargs touch && touch zzzzz-last_1.bmp"),
              0);
    ExpectSameAsTheFullWalk(dir.Path(), {L"00000-first", L"zzzzz-last", L"C050000_", L"absent", L"C09999"});
}

TEST(DirectoryWalk, DirectoriesThatCannotBeListedAreNone) {
    ScratchDir dir;
    EXPECT_FALSE(ListSignatureFiles(dir / "missing", "k"));
    const std::string locked = dir.Subdir("locked");
    WriteBytes(locked + "\\k_1.jpg", "x");
    LockPath(locked);
    EXPECT_FALSE(ListSignatureFiles(locked, "k"));
    EXPECT_FALSE(ListSignatureFiles(locked, "")) << "the full listing alike";
    UnlockPath(locked);
    const auto empty = ListSignatureFiles(dir.Subdir("empty"), "k");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

}  // namespace
}  // namespace kavrel::test
