// Which names in a client directory are a client's signature images: the rule itself, over bytes.
// Plain C++ (built and tested natively too); the letter-case mapping is the caller's, since it is
// the system's ANSI mapping on a workstation.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavrel {

enum class KeyMode {
    // The script functions: the key and the name are compared after the system's ANSI
    // upper-case mapping, so Latin and Cyrillic letters match regardless of case.
    IgnoreCase,
    // The viewer: byte for byte.
    ExactBytes,
};

// Upper-cases `length` bytes of `text` in place.
using UpperCaseMapping = void (*)(char* text, std::size_t length);

// True when `name` is not "." or "..", ends exactly in ".bmp" or ".jpg" (case-sensitive), and
// begins with `clientKey` under `mode` (IgnoreCase compares both after `upper`). An empty key
// matches every such name.
bool IsSignatureName(std::string_view name, std::string_view clientKey, KeyMode mode, UpperCaseMapping upper);

// The listing pattern for a directory: `pattern` ("*.*" unless given) appended, with a "\" in
// between unless the path is empty or already ends in ":", "\" or "/".
std::string ListingPattern(const std::string& directory, std::string_view pattern = "*.*");

// A file-name pattern that lists every signature file of `clientKey`, in either key mode, and
// usually few others: the longest beginning of the key made of characters that a pattern takes
// literally and that the file system compares as the rule does (ASCII letters and digits, the
// Russian letters of code page 1251, plain punctuation), then "*". The file system matches it
// case-insensitively, which the exact mode's byte comparison narrows again. A character that
// patterns treat specially ("*", "?", "<", ">", '"', "."), a path separator, or any other
// character ends the literal part there; a key that begins with one gives "*", the full listing.
// The pattern is at most `maxLength` characters long (at least "*"): a longer key is cut, which
// keeps the pattern a superset, so that a key no name could hold still lists a usable directory.
std::string SignatureSearchPattern(std::string_view clientKey, std::size_t maxLength = 255);

}  // namespace kavrel
