#include "twain/capability_containers.h"

#include <cstring>

#include "layout/byte_fields.h"
#include "twain/library_errors.h"
#include "twain/twain_protocol.h"

namespace kavrel::twainlib {

using layout::LoadField;
using layout::StoreField;
using namespace twain;

namespace {

// Sizes of TWTY_INT8 .. TWTY_STR255, in the order of their codes.
constexpr int kItemTypeSizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
constexpr unsigned kItemTypeCount = sizeof kItemTypeSizes / sizeof kItemTypeSizes[0];
static_assert(kItemTypeCount == TWTY_STR255 + 1u);

constexpr std::size_t kOneValueItem = 2;                           // after ItemType
constexpr std::size_t kArrayItems = sizeof(TW_ARRAY_HEADER);       // 6
constexpr std::size_t kEnumerationItems = sizeof(TW_ENUMERATION_HEADER);  // 14

// Whether `count` items of `itemSize` bytes starting at `offset` lie inside `size` bytes.
bool Fits(std::size_t size, std::size_t offset, std::uint64_t count, std::size_t itemSize) {
    return offset <= size && count * itemSize <= size - offset;
}

}  // namespace

int ItemTypeSize(unsigned itemType) { return itemType < kItemTypeCount ? kItemTypeSizes[itemType] : 0; }

bool ItemTypesCompatible(unsigned containerItemType, unsigned wantedItemType) {
    if (containerItemType == wantedItemType) return true;
    return containerItemType <= TWTY_UINT32 && wantedItemType <= TWTY_UINT32 &&
           ItemTypeSize(containerItemType) == ItemTypeSize(wantedItemType);
}

std::optional<ContainerView> ViewContainer(std::uint16_t conType, const std::uint8_t* container,
                                           std::size_t size) {
    if (!container || size < 2) return std::nullopt;
    ContainerView view;
    view.conType = conType;
    view.itemType = LoadField<std::uint16_t>(container);
    switch (conType) {
    case TWON_ONEVALUE:
        view.numItems = 1;
        view.itemsOffset = kOneValueItem;
        break;
    case TWON_ARRAY:
        if (size < kArrayItems) return std::nullopt;
        view.numItems = LoadField<std::uint32_t>(container + 2);
        view.itemsOffset = kArrayItems;
        break;
    case TWON_ENUMERATION:
        if (size < kEnumerationItems) return std::nullopt;
        view.numItems = LoadField<std::uint32_t>(container + 2);
        view.currentIndex = LoadField<std::uint32_t>(container + 6);
        view.itemsOffset = kEnumerationItems;
        break;
    default:
        return std::nullopt;
    }
    const auto itemSize = static_cast<std::size_t>(ItemTypeSize(view.itemType));
    if (itemSize != 0) {
        const std::uint64_t room = (size - view.itemsOffset) / itemSize;
        view.itemsInBlock = static_cast<std::uint32_t>(room < view.numItems ? room : view.numItems);
    }
    return view;
}

std::optional<std::uint32_t> IntegerItem(const ContainerView& view, const std::uint8_t* container,
                                         std::uint32_t index) {
    if (index >= view.itemsInBlock) return std::nullopt;
    const std::uint8_t* item = container + view.itemsOffset + std::size_t{index} *
                                                               static_cast<std::size_t>(ItemTypeSize(view.itemType));
    switch (view.itemType) {
    case TWTY_INT8: return static_cast<std::uint32_t>(static_cast<std::int32_t>(LoadField<std::int8_t>(item)));
    case TWTY_UINT8: return LoadField<std::uint8_t>(item);
    case TWTY_INT16: return static_cast<std::uint32_t>(static_cast<std::int32_t>(LoadField<std::int16_t>(item)));
    case TWTY_UINT16:
    case TWTY_BOOL: return LoadField<std::uint16_t>(item);
    case TWTY_INT32:
    case TWTY_UINT32: return LoadField<std::uint32_t>(item);
    default: return std::nullopt;
    }
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
    if (conType != TWON_ONEVALUE && conType != TWON_ENUMERATION) return false;
    const auto view = ViewContainer(conType, container, size);
    if (!view || !place || valueSize == 0 || !ItemTypesCompatible(view->itemType, wantedItemType)) return false;
    if (view->currentIndex >= view->numItems) return false;
    // The wanted type's size counts: a longer item of a longer type stands in the place of a
    // one-value container's 32-bit item.
    if (!Fits(size, view->itemsOffset, std::uint64_t{view->currentIndex} + 1, static_cast<std::size_t>(valueSize))) {
        return false;
    }
    std::memcpy(place, container + view->itemsOffset + std::size_t{view->currentIndex} * static_cast<std::size_t>(valueSize),
                static_cast<std::size_t>(valueSize));
    return true;
}

PixelTypeNarrowing NarrowPixelTypes(std::uint16_t conType, std::uint8_t* container,
                                    std::size_t size, std::uint32_t mask) {
    PixelTypeNarrowing out;
    if (conType == TWON_ONEVALUE) {
        // The block holds a whole TW_ONEVALUE. An integer item is read by its own type, since a
        // 16-bit item leaves the upper half of the 32-bit field to whatever the source left there;
        // an item of another type (a source's mistake) is taken as the whole field, as before.
        if (size < kOneValueItem + 4) {
            out.error = kErrorContainerUnusable;
            return out;
        }
        const auto view = ViewContainer(conType, container, size);
        const std::optional<std::uint32_t> item =
            view ? IntegerItem(*view, container, 0) : std::nullopt;
        const std::uint32_t value = item ? *item : LoadField<std::uint32_t>(container + kOneValueItem);
        out.result = value < 32 ? (mask & (1u << value)) : 0;
        if (!out.result) out.error = kErrorNoCommonPixelType;
        out.preferredType = static_cast<std::uint16_t>(value);
        return out;
    }
    if (conType != TWON_ARRAY && conType != TWON_ENUMERATION) {
        out.error = kErrorContainerType;
        return out;
    }
    const auto view = ViewContainer(conType, container, size);
    if (!view) {
        out.error = kErrorContainerUnusable;
        return out;
    }
    if (view->numItems == 0) {
        out.error = kErrorEmptyList;
        return out;
    }
    if (view->itemType != TWTY_UINT16 && view->itemType != TWTY_INT16) {
        out.error = kErrorItemType;
        return out;
    }
    // A count that runs past the block is a broken container: nothing is read beyond it.
    if (view->itemsInBlock < view->numItems) {
        out.error = kErrorContainerUnusable;
        return out;
    }
    // The types the enumeration's indexes point at, read before the list is rewritten (an index
    // outside the list points at nothing).
    const auto currentBefore = IntegerItem(*view, container, view->currentIndex);
    const auto defaultBefore =
        conType == TWON_ENUMERATION ? IntegerItem(*view, container, LoadField<std::uint32_t>(container + 10)) : std::nullopt;

    // The items are 16-bit values at an even offset of a block that the system aligns.
    auto* list = reinterpret_cast<std::uint16_t*>(container + view->itemsOffset);
    const std::uint32_t kept = KeepCommonPixelTypes(mask, view->numItems, list);
    if (kept == 0) {
        out.error = kErrorNoCommonPixelType;
        return out;
    }
    StoreField<std::uint32_t>(container + 2, kept);
    const auto indexOf = [&](std::optional<std::uint32_t> type) -> std::optional<std::uint32_t> {
        for (std::uint32_t i = 0; type && i < kept; ++i) {
            if (list[i] == *type) return i;
        }
        return std::nullopt;
    };
    const std::uint32_t current = conType == TWON_ENUMERATION ? indexOf(currentBefore).value_or(0) : 0;
    if (conType == TWON_ENUMERATION) {
        StoreField<std::uint32_t>(container + 6, current);
        StoreField<std::uint32_t>(container + 10, indexOf(defaultBefore).value_or(current));
    }
    out.preferredType = list[current];
    out.result = 1;
    out.sendBack = true;
    return out;
}

}  // namespace kavrel::twainlib
