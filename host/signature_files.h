// A client's signature images in a directory: the signature-file rule with the system's letter
// case, and the directory walk that finds them.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/signature_rule.h"

namespace kavrel {

// IsSignatureName with the system's ANSI upper-case mapping of the current code page (1251 folds
// Cyrillic too).
bool IsSignatureFile(std::string_view name, std::string_view clientKey, KeyMode mode);

// True when `path` names an existing directory.
bool DirectoryExists(const std::string& path);

// The names (not paths) of the entries of `directory` that are signature files of `clientKey`
// in `mode`, in listing order; files and sub-directories alike, hidden ones included; the first
// `limit` of them at most (the walk stops there). Empty optional: the system refused to list the
// directory. An entry whose name the file calls' code page cannot hold exactly is not a signature
// file: no name in that code page reaches it, and the look-alike the system would give for it
// names another file.
//
// The file system is asked for the entries that SignatureSearchPattern lets through, a superset
// of the client's files (on case-sensitive directories too) that a file server filters far faster
// than this code could look at every entry of a directory holding all clients' signatures; the
// exact rule is then applied to what comes back, in the order it comes (WalkSignatureFiles).
std::optional<std::vector<std::string>> ListSignatureFiles(
    const std::string& directory, std::string_view clientKey, KeyMode mode = KeyMode::IgnoreCase,
    std::size_t limit = std::numeric_limits<std::size_t>::max());

}  // namespace kavrel
