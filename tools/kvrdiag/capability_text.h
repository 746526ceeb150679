// What a source answered when asked for one capability's values (MSG_GET), in words for the
// report: the values it offers and the current one, or what is wrong with the container it
// handed over. Plain C++ over the container's bytes (built and tested natively too); nothing is
// read outside the block, whatever the container's counts claim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/kvrdiag/texts.h"

namespace kavrel::diag {

struct CapabilityText {
    std::wstring values;  // "BW, GRAY, RGB (current RGB)"; empty when `fault` is set
    std::wstring fault;   // what is wrong with the container; empty when it could be read
};

// `container` and `size` are the locked block and its real size; a null container is a fault.
CapabilityText DescribeCapability(Language language, std::uint16_t cap, std::uint16_t conType,
                                  const std::uint8_t* container, std::size_t size);

}  // namespace kavrel::diag
