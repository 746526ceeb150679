// Reading a whole file into memory, bounded in size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrel {

// The file's bytes. Throws kavrel::Error (naming the file) when it cannot be opened or read, or
// is larger than `maxBytes`.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path, long long maxBytes);

}  // namespace kavrel
