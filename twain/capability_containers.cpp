#include "twain/capability_containers.h"

#include <cstring>

#include "twain/byte_fields.h"

#include "twain/library_errors.h"

namespace kavrel::twainlib {

namespace {

constexpr int kItemTypeSizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
constexpr unsigned kItemTypeCount = sizeof kItemTypeSizes / sizeof kItemTypeSizes[0];
constexpr unsigned kLastIntegerType = 5;  // TWTY_UINT32

constexpr std::uint16_t kArray = 3, kEnumeration = 4, kOneValue = 5;
constexpr std::uint16_t kUInt16 = 4, kInt16 = 1;

// Layouts (packed to 2): one value: ItemType u16, Item; array: ItemType u16, NumItems u32,
// items; enumeration: ItemType u16, NumItems, CurrentIndex, DefaultIndex (u32 each), items.
constexpr std::size_t kOneValueItem = 2;
constexpr std::size_t kArrayItems = 6;
constexpr std::size_t kEnumerationItems = 14;

// Whether `count` items of `itemSize` bytes starting at `offset` lie inside `size` bytes.
bool Fits(std::size_t size, std::size_t offset, std::uint64_t count, std::size_t itemSize) {
    return offset <= size && count * itemSize <= size - offset;
}

}  // namespace

int ItemTypeSize(unsigned itemType) { return itemType < kItemTypeCount ? kItemTypeSizes[itemType] : 0; }

bool ItemTypesCompatible(unsigned containerItemType, unsigned wantedItemType) {
    if (containerItemType == wantedItemType) return true;
    return containerItemType <= kLastIntegerType && wantedItemType <= kLastIntegerType &&
           ItemTypeSize(containerItemType) == ItemTypeSize(wantedItemType);
}

std::uint32_t KeepCommonPixelTypes(std::uint32_t mask, std::uint32_t count, std::uint16_t* list) {
    std::uint32_t offered = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        // A type of 32 or more is not a type the mask can ask for; folding it onto a lower bit
        // would claim a type the source does not offer.
        if (list[i] < 32) offered |= 1u << list[i];
    }
    const std::uint32_t common = offered & mask;
    std::uint32_t written = 0;
    for (std::uint16_t type = 0; type < 32; ++type) {
        if (common & (1u << type)) list[written++] = type;
    }
    return written;
}

bool ReadCurrentValue(std::uint16_t conType, const std::uint8_t* container, std::size_t size,
                      unsigned wantedItemType, void* place) {
    const int valueSize = ItemTypeSize(wantedItemType);
    if (!container || !place || valueSize == 0 || size < 2) return false;
    const std::uint16_t itemType = LoadField<std::uint16_t>(container);
    if (!ItemTypesCompatible(itemType, wantedItemType)) return false;
    switch (conType) {
    case kOneValue:
        // A longer item of a longer type stands in the place of the 32-bit one.
        if (!Fits(size, kOneValueItem, 1, static_cast<std::size_t>(valueSize))) return false;
        std::memcpy(place, container + kOneValueItem, static_cast<std::size_t>(valueSize));
        return true;
    case kEnumeration: {
        if (size < kEnumerationItems) return false;
        const std::uint32_t numItems = LoadField<std::uint32_t>(container + 2);
        const std::uint32_t current = LoadField<std::uint32_t>(container + 6);
        if (current >= numItems) return false;
        if (!Fits(size, kEnumerationItems, std::uint64_t{current} + 1, static_cast<std::size_t>(valueSize))) {
            return false;
        }
        std::memcpy(place, container + kEnumerationItems + std::size_t{current} * static_cast<std::size_t>(valueSize),
                    static_cast<std::size_t>(valueSize));
        return true;
    }
    default:
        return false;
    }
}

PixelTypeNarrowing NarrowPixelTypes(std::uint16_t conType, std::uint8_t* container,
                                    std::size_t size, std::uint32_t mask) {
    PixelTypeNarrowing out;
    if (conType == kOneValue) {
        if (size < kOneValueItem + 4) {
            out.error = kErrorContainerUnusable;
            return out;
        }
        const std::uint32_t item = LoadField<std::uint32_t>(container + kOneValueItem);
        out.result = item < 32 ? (mask & (1u << item)) : 0;
        if (!out.result) out.error = kErrorNoCommonPixelType;
        return out;
    }
    if (conType != kArray && conType != kEnumeration) {
        out.error = kErrorContainerType;
        return out;
    }
    const std::size_t itemsAt = conType == kArray ? kArrayItems : kEnumerationItems;
    if (size < itemsAt) {
        out.error = kErrorContainerUnusable;
        return out;
    }
    const std::uint16_t itemType = LoadField<std::uint16_t>(container);
    const std::uint32_t numItems = LoadField<std::uint32_t>(container + 2);
    if (numItems == 0) {
        out.error = kErrorEmptyList;
        return out;
    }
    if (itemType != kUInt16 && itemType != kInt16) {
        out.error = kErrorItemType;
        return out;
    }
    // A count that runs past the block is a broken container: nothing is read beyond it.
    if (!Fits(size, itemsAt, numItems, 2)) {
        out.error = kErrorContainerUnusable;
        return out;
    }
    if (conType == kEnumeration) {
        StoreField<std::uint32_t>(container + 6, 0xFFFFFFFFu);
        StoreField<std::uint32_t>(container + 10, 0xFFFFFFFFu);
    }
    // The items are 16-bit values at an even offset of a block that the system aligns.
    auto* list = reinterpret_cast<std::uint16_t*>(container + itemsAt);
    const std::uint32_t kept = KeepCommonPixelTypes(mask, numItems, list);
    StoreField<std::uint32_t>(container + 2, kept);
    if (kept == 0) {
        out.error = kErrorNoCommonPixelType;
        return out;
    }
    out.result = 1;
    out.sendBack = true;
    return out;
}

}  // namespace kavrel::twainlib
