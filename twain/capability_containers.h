// Reading and narrowing TWAIN capability containers held in a byte buffer. No Windows here: the
// caller locks the source's memory block and passes its bytes and its real size, and nothing is
// read or written outside them, whatever the container's own counts claim.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavrel::twainlib {

// Bytes of one item of a TWAIN item type (TWTY_INT8 .. TWTY_STR255); 0 for any other code.
int ItemTypeSize(unsigned itemType);

// Equal codes, or two integer types of the same size (INT8/UINT8, INT16/UINT16, INT32/UINT32).
bool ItemTypesCompatible(unsigned containerItemType, unsigned wantedItemType);

// Narrows `count` 16-bit pixel types in `list` to those also in `mask` (bit n = type n), each
// once, in ascending order, written from the first position on; answers how many were written.
// Types of 32 and above have no bit in the mask and are not kept.
std::uint32_t KeepCommonPixelTypes(std::uint32_t mask, std::uint32_t count, std::uint16_t* list);

// The current value of a TWON_ONEVALUE or TWON_ENUMERATION container, as `wantedItemType`:
// ItemTypeSize(wantedItemType) bytes are copied into `place`. False (place untouched) for any
// other container, an incompatible item type, an index out of range, or a container whose
// claimed contents do not fit in `size` bytes.
bool ReadCurrentValue(std::uint16_t conType, const std::uint8_t* container, std::size_t size,
                      unsigned wantedItemType, void* place);

struct PixelTypeNarrowing {
    std::uint32_t result = 0;  // non-zero on success (for a one-value container: the type's bit)
    int error = 0;             // the library error to record when result is 0
    bool sendBack = false;     // the narrowed list must go back to the source with MSG_SET
};

// The pixel-type negotiation on the container a source returned for ICAP_PIXELTYPE: arrays and
// enumerations are narrowed in place to the wanted types (an enumeration's current and default
// indexes become 0xFFFFFFFF); a one-value container is only checked.
PixelTypeNarrowing NarrowPixelTypes(std::uint16_t conType, std::uint8_t* container,
                                    std::size_t size, std::uint32_t mask);

}  // namespace kavrel::twainlib
