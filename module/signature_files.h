// Which directory entries are a client's signature images, and the directory walk that finds them.
#pragma once

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

// True when `name` is not "." or "..", ends exactly in ".bmp" or ".jpg" (case-sensitive), and
// begins with `clientKey` under `mode`. An empty key matches every such name.
bool IsSignatureFile(std::string_view name, std::string_view clientKey, KeyMode mode);

// True when `path` names an existing directory.
bool DirectoryExists(const std::string& path);

// The names (not paths) of the entries of `directory` that are signature files of `clientKey`
// in `mode`, in listing order; files and sub-directories alike, hidden ones included.
// Empty optional: the system refused to list the directory.
std::optional<std::vector<std::string>> ListSignatureFiles(const std::string& directory,
                                                           std::string_view clientKey,
                                                           KeyMode mode = KeyMode::IgnoreCase);

// The listing pattern for a directory: "*.*" appended, with a "\" in between unless the path is
// empty or already ends in ":", "\" or "/".
std::string ListingPattern(const std::string& directory);

}  // namespace kavrel
