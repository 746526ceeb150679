// The signature-file rule over bytes, with a stand-in for the system's code page 1251 letter case.
#include <gtest/gtest.h>

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
    EXPECT_EQ(SignatureSearchPattern("40817810000000000001"), "40817810000000000001*");
    EXPECT_EQ(SignatureSearchPattern("Иванов_Ёж"), "Иванов_Ёж*") << "Russian letters are compared as the rule does";
    EXPECT_EQ(SignatureSearchPattern(""), "*");
    // Characters that patterns treat specially, or that could match differently, end it there.
    EXPECT_EQ(SignatureSearchPattern("ab*cd"), "ab*");
    EXPECT_EQ(SignatureSearchPattern("ab?cd"), "ab*");
    EXPECT_EQ(SignatureSearchPattern("ab.cd"), "ab*");
    EXPECT_EQ(SignatureSearchPattern("ab<c>d\"e"), "ab*");
    EXPECT_EQ(SignatureSearchPattern("..\\x"), "*");
    EXPECT_EQ(SignatureSearchPattern("C:x"), "C*");
    EXPECT_EQ(SignatureSearchPattern("a/b"), "a*");
    EXPECT_EQ(SignatureSearchPattern("Ђак"), "*") << "a Serbian letter: its case pairs are not the rule's to vouch for";
    EXPECT_EQ(SignatureSearchPattern("x\x01y"), "x*");
    EXPECT_EQ(SignatureSearchPattern("k-1 (2) #3"), "k-1 (2) #3*");
    // A key longer than any name is cut (the pattern stays a superset).
    EXPECT_EQ(SignatureSearchPattern(std::string(10000, 'a')), std::string(254, 'a') + "*");
    EXPECT_EQ(SignatureSearchPattern("abcdef", 4), "abc*");
    EXPECT_EQ(SignatureSearchPattern("abcdef", 1), "*");
    EXPECT_EQ(SignatureSearchPattern("abcdef", 0), "*");
}

TEST(SignatureRule, ListingPattern) {
    EXPECT_EQ(ListingPattern("C:\\sig"), "C:\\sig\\*.*");
    EXPECT_EQ(ListingPattern("C:\\sig\\"), "C:\\sig\\*.*");
    EXPECT_EQ(ListingPattern("C:/sig/"), "C:/sig/*.*");
    EXPECT_EQ(ListingPattern("C:"), "C:*.*") << "the drive's current directory";
    EXPECT_EQ(ListingPattern(""), "*.*");
    EXPECT_EQ(ListingPattern("C:\\sig", "K1*"), "C:\\sig\\K1*");
}

}  // namespace
}  // namespace kavrel
