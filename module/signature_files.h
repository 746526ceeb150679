// A client's signature images in a directory: the signature-file rule with the system's letter
// case, and the directory walk that finds them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module/signature_rule.h"

namespace kavrel {

// IsSignatureName with the system's ANSI upper-case mapping of the current code page (1251 folds
// Cyrillic too).
bool IsSignatureFile(std::string_view name, std::string_view clientKey, KeyMode mode);

// True when `path` names an existing directory.
bool DirectoryExists(const std::string& path);

// The names (not paths) of the entries of `directory` that are signature files of `clientKey`
// in `mode`, in listing order; files and sub-directories alike, hidden ones included.
// Empty optional: the system refused to list the directory.
std::optional<std::vector<std::string>> ListSignatureFiles(const std::string& directory,
                                                           std::string_view clientKey,
                                                           KeyMode mode = KeyMode::IgnoreCase);

}  // namespace kavrel
