// A capability container's bytes, built field by field as a source would lay them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavrel::test {

struct Container {
    std::vector<std::uint8_t> bytes;
    Container& U16(std::uint16_t v) { return Put(&v, 2); }
    Container& U32(std::uint32_t v) { return Put(&v, 4); }
    Container& Put(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
        return *this;
    }
};

}  // namespace kavrel::test
