// TWAIN capability containers held in a byte buffer: one reading of their layout, used by the
// library's negotiation and by the virtual scanner. No Windows here: the caller locks the memory
// block and passes its bytes and its real size, and nothing is read or written outside them,
// whatever the container's own counts claim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kavrel::twainlib {

// Bytes of one item of a TWAIN item type (TWTY_INT8 .. TWTY_STR255); 0 for any other code.
int ItemTypeSize(unsigned itemType);

// Equal codes, or two integer types of the same size (INT8/UINT8, INT16/UINT16, INT32/UINT32).
bool ItemTypesCompatible(unsigned containerItemType, unsigned wantedItemType);

// A one-value, enumeration or array container as its header describes it (layouts packed to 2:
// one value: ItemType u16, Item; array: ItemType u16, NumItems u32, items; enumeration: ItemType,
// NumItems, CurrentIndex, DefaultIndex, items).
struct ContainerView {
    std::uint16_t conType = 0;
    std::uint16_t itemType = 0;
    std::uint32_t numItems = 0;      // as the container claims (1 for a one-value container)
    std::uint32_t currentIndex = 0;  // an enumeration's; 0 for the others
    std::size_t itemsOffset = 0;     // where the first item starts
    std::uint32_t itemsInBlock = 0;  // how many of the claimed items lie wholly inside the block
};

// The view of a container of type `conType`; none for a range or an unknown type, or a block too
// short for the container's header.
std::optional<ContainerView> ViewContainer(std::uint16_t conType, const std::uint8_t* container,
                                           std::size_t size);

// Item `index` of an integer (or TWTY_BOOL) container as a 32-bit value, signed types sign-extended;
// none when the item is not in the block or the items are not integers of at most 32 bits.
std::optional<std::uint32_t> IntegerItem(const ContainerView& view, const std::uint8_t* container,
                                         std::uint32_t index);

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
    // The wanted type to make current: the type current before when it is wanted, else the first
    // kept. A source that takes pixel types only one at a time is sent this one.
    std::uint16_t preferredType = 0;
};

// The pixel-type negotiation on the container a source returned for ICAP_PIXELTYPE: arrays and
// enumerations are narrowed in place to the wanted types, an enumeration's current and default
// indexes pointing into the narrowed list (at the types they pointed at when those are kept, else
// at the preferred type: a source refuses an index outside its list); a one-value container is
// only checked, its item read by its item type.
PixelTypeNarrowing NarrowPixelTypes(std::uint16_t conType, std::uint8_t* container,
                                    std::size_t size, std::uint32_t mask);

}  // namespace kavrel::twainlib
