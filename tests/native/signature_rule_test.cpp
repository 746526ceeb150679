// The signature-file rule over bytes, with a stand-in for the system's code page 1251 letter case.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/signature_rule.h"

namespace kavrel {
namespace {

// Code page 1251's upper case: Latin a-z, Cyrillic а-я (E0-FF to C0-DF) and ё (B8 to A8).
void UpperCase1251(char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 'a' && c <= 'z') || c >= 0xE0) text[i] = static_cast<char>(c - 0x20);
        else if (c == 0xB8) text[i] = static_cast<char>(0xA8);
    }
}

bool Matches(std::string_view name, std::string_view key, KeyMode mode = KeyMode::IgnoreCase) {
    return IsSignatureName(name, key, mode, &UpperCase1251);
}

TEST(SignatureRule, KeyPrefixAndExactEnding) {
    EXPECT_TRUE(Matches("40817810000000000001_1.jpg", "40817810000000000001"));
    EXPECT_TRUE(Matches("1234.bmp", "123")) << "the key is only a prefix";
    EXPECT_FALSE(Matches("123.bmp", "1234")) << "the name's first four characters are 123 and the dot";
    EXPECT_FALSE(Matches("k.BMP", "k")) << "endings are case-sensitive";
    EXPECT_FALSE(Matches("k.jpeg", "k"));
    EXPECT_FALSE(Matches("k.bmp.txt", "k"));
    EXPECT_TRUE(Matches(".bmp", "")) << "the empty key matches every signature file";
    EXPECT_FALSE(Matches(".", ""));
    EXPECT_FALSE(Matches("..", ""));
    EXPECT_FALSE(Matches("bmp", ""));
}

TEST(SignatureRule, LetterCaseByKeyMode) {
    EXPECT_TRUE(Matches("Ivanov.jpg", "IVANOV"));
    EXPECT_FALSE(Matches("Ivanov.jpg", "IVANOV", KeyMode::ExactBytes));
    EXPECT_TRUE(Matches("Ivanov.jpg", "Ivanov", KeyMode::ExactBytes));
    EXPECT_TRUE(Matches("Иванов_2.bmp", "иВАНОВ")) << "Cyrillic folds in code page 1251";
    EXPECT_TRUE(Matches("Ёлкин.bmp", "ёлкин"));
    EXPECT_FALSE(Matches("Иванов_2.bmp", "иванов", KeyMode::ExactBytes));
    EXPECT_FALSE(Matches("Иван.bmp", "Иванов")) << "a name shorter than the key";
}

TEST(SignatureRule, SearchPatternIsTheKeysPlainBeginning) {
    struct Row {
        std::string key;
        const char* exactBytes;  // the viewer's pattern
        const char* anyCase;     // the script functions' pattern: no letter, whose case might differ
    };
    const Row rows[] = {
        {"40817810000000000001", "40817810000000000001*", "40817810000000000001*"},
        {"Иванов_Ёж", "Иванов_Ёж*", "*"},
        {"", "*", "*"},
        {"k-1 (2) #3", "k-1 (2) #3*", "*"},
        {"1-k (2)", "1-k (2)*", "1-*"},
        {"40817_Иванов", "40817_Иванов*", "40817_*"},
        {"007ab", "007ab*", "007*"},
        // Characters that patterns treat specially, or that could match differently, end it there.
        {"ab*cd", "ab*", "*"},
        {"12*34", "12*", "12*"},
        {"12?34", "12*", "12*"},
        {"12.34", "12*", "12*"},
        {"12<3>4\"5", "12*", "12*"},
        {"..\\x", "*", "*"},
        {"1:x", "1*", "1*"},
        {"1/b", "1*", "1*"},
        {"Ђак", "*", "*"},  // a Serbian letter: its case pairs are not the rule's to vouch for
        {"1\x01y", "1*", "1*"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SignatureSearchPattern(row.key, KeyMode::ExactBytes), row.exactBytes) << row.key;
        EXPECT_EQ(SignatureSearchPattern(row.key, KeyMode::IgnoreCase), row.anyCase) << row.key;
    }
    // A key longer than any name is cut (the pattern stays a superset).
    EXPECT_EQ(SignatureSearchPattern(std::string(10000, '7'), KeyMode::IgnoreCase), std::string(254, '7') + "*");
    EXPECT_EQ(SignatureSearchPattern("abcdef", KeyMode::ExactBytes, 4), "abc*");
    EXPECT_EQ(SignatureSearchPattern("123456", KeyMode::IgnoreCase, 1), "*");
    EXPECT_EQ(SignatureSearchPattern("123456", KeyMode::IgnoreCase, 0), "*");
}

// The walk against a listing that compares names case-sensitively (a case-sensitive directory)
// and one that does not: its answers, and their order, are the full walk's for every key, in
// every letter case, Latin and Cyrillic, in both key modes.
TEST(SignatureRule, TheWalksAnswersAreTheFullWalksOnEveryFileSystem) {
    const std::vector<std::string> names = {
        "AB12_1.jpg", "ab12_2.bmp", "Ab12_3.jpg", "aB12.jpg", "AB12.JPG", "ab1.jpg", "xab12.jpg",
        "ИВАНОВ_1.jpg", "иванов_2.bmp", "Иванов 3.jpg", "ЁЛКИН.bmp", "ёлкин_2.jpg", "Елкин.jpg",
        "40817810000000000001.jpg", "40817810000000000001_2.bmp", "4081781.jpg", "1-k (2).jpg", "1-K (2)_2.bmp",
        ".jpg", "readme",
    };
    const char* keys[] = {"AB12", "ab12", "Ab12", "aB1", "ИВАНОВ", "иванов", "Иванов", "ЁЛКИН", "ёлкин", "Елкин",
                          "40817810000000000001", "408178", "1-k (2)", "1-K", "", "no such client"};
    for (const bool caseSensitive : {true, false}) {
        // A listing by "<directory>\<literal>*", matching as the file system would.
        const DirectoryListing listing = [&](const std::string& pattern,
                                             const std::function<bool(const std::string&)>& visit) {
            const std::string namePattern = pattern.substr(pattern.rfind('\\') + 1);
            EXPECT_EQ(namePattern.find_first_of("*?"), namePattern.size() - 1) << pattern;
            std::string literal = namePattern.substr(0, namePattern.size() - 1);
            if (!caseSensitive) UpperCase1251(literal.data(), literal.size());
            for (const std::string& name : names) {
                std::string start = name.substr(0, literal.size());
                if (!caseSensitive) UpperCase1251(start.data(), start.size());
                if (start == literal && !visit(name)) break;
            }
            return true;
        };
        for (const char* key : keys) {
            for (const KeyMode mode : {KeyMode::IgnoreCase, KeyMode::ExactBytes}) {
                std::vector<std::string> expected;
                for (const std::string& name : names) {
                    if (Matches(name, key, mode)) expected.push_back(name);
                }
                const auto walked = WalkSignatureFiles("D:\\signatures", key, mode, &UpperCase1251, listing);
                ASSERT_TRUE(walked);
                EXPECT_EQ(*walked, expected) << "key " << key << (caseSensitive ? ", case-sensitive" : ", case-insensitive")
                                             << (mode == KeyMode::IgnoreCase ? ", any case" : ", exact bytes");
                const auto first = WalkSignatureFiles("D:\\signatures", key, mode, &UpperCase1251, listing, 1);
                ASSERT_TRUE(first);
                EXPECT_EQ(*first, expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{expected[0]});
            }
        }
    }
    // A directory that cannot be listed is none.
    const DirectoryListing refused = [](const std::string&, const std::function<bool(const std::string&)>&) {
        return false;
    };
    EXPECT_FALSE(WalkSignatureFiles("D:\\locked", "1", KeyMode::IgnoreCase, &UpperCase1251, refused));
}

TEST(SignatureRule, ListingPattern) {
    EXPECT_EQ(ListingPattern("C:\\sig"), "C:\\sig\\*.*");
    EXPECT_EQ(ListingPattern("C:\\sig\\"), "C:\\sig\\*.*");
    EXPECT_EQ(ListingPattern("C:/sig/"), "C:/sig/*.*");
    EXPECT_EQ(ListingPattern("C:"), "C:*.*") << "the drive's current directory";
    EXPECT_EQ(ListingPattern(""), "*.*");
    EXPECT_EQ(ListingPattern("C:\\sig", "K1*"), "C:\\sig\\K1*");
}

TEST(SignatureRule, NamesWindowsCanStore) {
    const struct {
        const char* name;
        bool storable;
    } rows[] = {
        {"40817810099910004312.jpg", true}, {"..jpg", true}, {"abc .jpg", true}, {"COM0.jpg", true},
        {"\xC8\xE2\xE0\xED\xEE\xE2.jpg", true},  // Cyrillic in 1251
        {"", false}, {"a.", false}, {"a ", false}, {"a\tb.jpg", false}, {"a?b.jpg", false}, {"a|b.jpg", false},
        {"sub\\x.jpg", false}, {"c:x.jpg", false}, {"CON.jpg", false}, {"con .jpg", false}, {"Lpt9.x.jpg", false},
        {"nul", false}, {"COM1.jpg", false},
    };
    for (const auto& row : rows) EXPECT_EQ(IsStorableFileName(row.name), row.storable) << row.name;
}

}  // namespace
}  // namespace kavrel
