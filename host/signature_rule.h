// Which names in a client directory are a client's signature images: the rule itself, over bytes.
// Plain C++ (built and tested natively too); the letter-case mapping is the caller's, since it is
// the system's ANSI mapping on a workstation.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// An entry of a directory: `name` appended to `directory`, with a "\" in between unless the path
// is empty or already ends in ":", "\" or "/". The one rule by which a directory is listed and
// every entry of its listing reached again: a drive-relative "Z:" lists the drive's current
// directory, and its files are "Z:name" there (never "Z:\name", in the drive's root).
std::string JoinPath(const std::string& directory, std::string_view name);

// Whether Windows can store a file of this name (a name, not a path): not empty, no character it
// refuses in a name (control characters and < > : " / \ | ? *), no final dot or space (which it
// would drop, making another name), and not a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1
// to LPT9, in any letter case, whatever follows a dot or trailing spaces: "con.jpg" is the console).
bool IsStorableFileName(std::string_view name);

// Whether the file calls take this name for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9, in any letter case, whatever follows a dot or trailing spaces) rather than a file.
bool IsDeviceName(std::string_view name);

// The listing pattern for a directory: `pattern` ("*.*" unless given) joined to it as a name.
std::string ListingPattern(const std::string& directory, std::string_view pattern = "*.*");

// A file-name pattern that lists every signature file of `clientKey` in `mode`, on every file
// system, and usually few others: the longest beginning of the key made of characters that a
// pattern takes literally, then "*". What comes back is a superset of the client's files whether
// the file system compares names with or without regard to letter case (directories can be
// case-sensitive: NTFS's per-directory setting, shares served from other systems):
// - in the case-insensitive mode the literal part holds only characters without letter case
//   (digits and plain punctuation) and ends at the first letter, Latin or Cyrillic: a letter in
//   the pattern would miss names that differ from the key only in its case on a case-sensitive
//   directory. Keys of digits -- account numbers, the usual case -- keep the whole key;
// - in the byte-for-byte mode letters stay as they are (ASCII letters and the Russian letters of
//   code page 1251): an exact-case pattern lists every exact-case match anywhere, and a
//   case-insensitive file system only adds names that the rule then drops.
// A character that patterns treat specially ("*", "?", "<", ">", '"', "."), a path separator, or
// any other character ends the literal part there; a key that begins with one gives "*", the full
// listing. The pattern is at most `maxLength` characters long (at least "*"): a longer key is cut,
// which keeps the pattern a superset, so that a key no name could hold still lists a usable
// directory.
std::string SignatureSearchPattern(std::string_view clientKey, KeyMode mode, std::size_t maxLength = 255);

// One listing of a directory by a pattern ("<directory>\\<name pattern>", see ListingPattern):
// `visit` is called with each entry's name in the order the file system returns them and stops
// the listing by answering false. False when the directory cannot be listed. On a workstation it
// is FindFirstFileW and FindNextFileW (ListSignatureFiles); the tests replace it.
using DirectoryListing =
    std::function<bool(const std::string& pattern, const std::function<bool(const std::string& name)>& visit)>;

// The directory walk: `listing` is asked for SignatureSearchPattern in `directory` (cut to fit a
// path of MAX_PATH characters), and the exact rule is applied to the names that come back, kept in
// their order, less the device names (IsDeviceName), which no file call reaches as a file; the walk
// stops at the `limit`-th. None: the directory cannot be listed.
std::optional<std::vector<std::string>> WalkSignatureFiles(const std::string& directory,
                                                           std::string_view clientKey, KeyMode mode,
                                                           UpperCaseMapping upper, const DirectoryListing& listing,
                                                           std::size_t limit = std::numeric_limits<std::size_t>::max());

}  // namespace kavrel
