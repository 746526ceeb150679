// Capability containers as a source hands them over: whatever their counts and indexes claim,
// nothing is read or written outside the block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "container_bytes.h"
#include "layout/byte_fields.h"
#include "twain/capability_containers.h"
#include "twain/library_errors.h"
#include "twain/twain_protocol.h"

namespace kavrel::twainlib {
namespace {

using namespace twain;
using layout::LoadField;
using Bytes = std::vector<std::uint8_t>;

using test::Container;

Bytes Enumeration(std::uint16_t itemType, std::uint32_t count, std::uint32_t current,
                  const std::vector<std::uint16_t>& items) {
    Container c;
    c.U16(itemType).U32(count).U32(current).U32(0);
    for (std::uint16_t i : items) c.U16(i);
    return c.bytes;
}

TEST(ContainerView, HeadersOfTheThreeKinds) {
    const Bytes one = Container().U16(TWTY_UINT16).U32(7).bytes;
    const auto v1 = ViewContainer(TWON_ONEVALUE, one.data(), one.size());
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->numItems, 1u);
    EXPECT_EQ(v1->itemsOffset, 2u);
    EXPECT_EQ(IntegerItem(*v1, one.data(), 0), 7u);

    const Bytes array = Container().U16(TWTY_INT16).U32(2).U16(0xFFFF).U16(3).bytes;
    const auto v2 = ViewContainer(TWON_ARRAY, array.data(), array.size());
    ASSERT_TRUE(v2);
    EXPECT_EQ(v2->itemsInBlock, 2u);
    EXPECT_EQ(IntegerItem(*v2, array.data(), 0), 0xFFFFFFFFu) << "INT16 -1 sign-extended";
    EXPECT_EQ(IntegerItem(*v2, array.data(), 1), 3u);
    EXPECT_FALSE(IntegerItem(*v2, array.data(), 2));

    const Bytes e = Enumeration(TWTY_UINT16, 3, 2, {0, 1, 2});
    const auto v3 = ViewContainer(TWON_ENUMERATION, e.data(), e.size());
    ASSERT_TRUE(v3);
    EXPECT_EQ(v3->currentIndex, 2u);
    EXPECT_EQ(v3->itemsOffset, 14u);

    EXPECT_FALSE(ViewContainer(TWON_RANGE, e.data(), e.size())) << "ranges are not read here";
    EXPECT_FALSE(ViewContainer(TWON_ENUMERATION, e.data(), 13)) << "a header cut short";
    EXPECT_FALSE(ViewContainer(TWON_ONEVALUE, one.data(), 1));
}

TEST(ContainerView, CountsPastTheBlockAreCutToWhatIsThere) {
    const Bytes e = Enumeration(TWTY_UINT16, 0xFFFFFFFFu, 0, {5, 6});
    const auto view = ViewContainer(TWON_ENUMERATION, e.data(), e.size());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->numItems, 0xFFFFFFFFu);
    EXPECT_EQ(view->itemsInBlock, 2u);
    EXPECT_FALSE(IntegerItem(*view, e.data(), 2));
    // Strings are no integers.
    const Bytes s = Container().U16(TWTY_STR32).U32(1).Put("abc", 3).bytes;
    const auto strings = ViewContainer(TWON_ARRAY, s.data(), s.size());
    ASSERT_TRUE(strings);
    EXPECT_EQ(strings->itemsInBlock, 0u) << "a 34-byte item does not fit in 3 bytes";
}

TEST(CurrentValue, OnlyFromInsideTheBlock) {
    std::uint32_t value = 0xAAAAAAAA;
    const Bytes e = Enumeration(TWTY_UINT16, 3, 1, {10, 20, 30});
    ASSERT_TRUE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), TWTY_UINT16, &value));
    EXPECT_EQ(value & 0xFFFF, 20u);
    EXPECT_EQ(value >> 16, 0xAAAAu) << "exactly the item's two bytes are written";

    const Bytes pastCount = Enumeration(TWTY_UINT16, 3, 3, {10, 20, 30});
    EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, pastCount.data(), pastCount.size(), TWTY_UINT16, &value));
    const Bytes pastBlock = Enumeration(TWTY_UINT16, 100, 50, {10, 20, 30});
    EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, pastBlock.data(), pastBlock.size(), TWTY_UINT16, &value));
    // An index whose byte offset would overflow 32 bits.
    const Bytes huge = Enumeration(TWTY_STR255, 0xFFFFFFFFu, 0x01000001u, {});
    char text[256];
    EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, huge.data(), huge.size(), TWTY_STR255, text));

    EXPECT_FALSE(ReadCurrentValue(TWON_ARRAY, e.data(), e.size(), TWTY_UINT16, &value)) << "an array has no current value";
    EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), TWTY_UINT32, &value)) << "2 bytes are no UINT32";
    EXPECT_TRUE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), TWTY_INT16, &value)) << "same-size integers";
    EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), 99, &value)) << "no such item type";
}

TEST(PixelTypes, NarrowedInPlaceToTheWantedOnes) {
    Bytes e = Enumeration(TWTY_UINT16, 4, 2, {2, 0, 1, 2});
    const PixelTypeNarrowing n = NarrowPixelTypes(TWON_ENUMERATION, e.data(), e.size(), (1u << 0) | (1u << 2));
    EXPECT_EQ(n.result, 1u);
    EXPECT_TRUE(n.sendBack);
    EXPECT_EQ(LoadField<std::uint32_t>(e.data() + 2), 2u);
    EXPECT_EQ(LoadField<std::uint16_t>(e.data() + 14), 0);
    EXPECT_EQ(LoadField<std::uint16_t>(e.data() + 16), 2);
    // The indexes stay inside the narrowed list (a standard source refuses others): the current
    // type 1 is gone, so the first kept; the default (type 2, index 0 before) is kept.
    EXPECT_EQ(LoadField<std::uint32_t>(e.data() + 6), 0u);
    EXPECT_EQ(LoadField<std::uint32_t>(e.data() + 10), 1u);
    EXPECT_EQ(n.preferredType, 0);

    Bytes keepsCurrent = Enumeration(TWTY_UINT16, 3, 2, {0, 1, 2});
    const PixelTypeNarrowing k = NarrowPixelTypes(TWON_ENUMERATION, keepsCurrent.data(), keepsCurrent.size(), 0b110);
    EXPECT_EQ(LoadField<std::uint32_t>(keepsCurrent.data() + 6), 1u) << "type 2 stays current";
    EXPECT_EQ(LoadField<std::uint32_t>(keepsCurrent.data() + 10), 1u) << "the default (type 0) is gone";
    EXPECT_EQ(k.preferredType, 2);

    Bytes types = {2, 40, 1};
    std::uint16_t list[3] = {40, 1, 33};
    EXPECT_EQ(KeepCommonPixelTypes(0xFFFFFFFFu, 3, list), 1u) << "types of 32 and above have no bit";
    EXPECT_EQ(list[0], 1);
}

TEST(PixelTypes, BrokenContainersGiveTheirErrors) {
    Bytes cut = Enumeration(TWTY_UINT16, 5, 0, {0, 1});
    EXPECT_EQ(NarrowPixelTypes(TWON_ENUMERATION, cut.data(), cut.size(), 1).error, kErrorContainerUnusable);
    EXPECT_EQ(LoadField<std::uint32_t>(cut.data() + 2), 5u) << "a broken container is left as it was";
    Bytes empty = Enumeration(TWTY_UINT16, 0, 0, {});
    EXPECT_EQ(NarrowPixelTypes(TWON_ENUMERATION, empty.data(), empty.size(), 1).error, kErrorEmptyList);
    Bytes wrongType = Enumeration(TWTY_UINT32, 1, 0, {0, 0});
    EXPECT_EQ(NarrowPixelTypes(TWON_ENUMERATION, wrongType.data(), wrongType.size(), 1).error, kErrorItemType);
    Bytes none = Enumeration(TWTY_UINT16, 1, 0, {3});
    EXPECT_EQ(NarrowPixelTypes(TWON_ENUMERATION, none.data(), none.size(), 1).error, kErrorNoCommonPixelType);
    Bytes range(22, 0);
    EXPECT_EQ(NarrowPixelTypes(TWON_RANGE, range.data(), range.size(), 1).error, kErrorContainerType);
    Bytes shortHeader(5, 0);
    EXPECT_EQ(NarrowPixelTypes(TWON_ARRAY, shortHeader.data(), shortHeader.size(), 1).error, kErrorContainerUnusable);

    Bytes one = Container().U16(TWTY_UINT16).U32(2).bytes;
    EXPECT_EQ(NarrowPixelTypes(TWON_ONEVALUE, one.data(), one.size(), 1u << 2).result, 1u << 2);
    EXPECT_FALSE(NarrowPixelTypes(TWON_ONEVALUE, one.data(), one.size(), 1).sendBack);
    EXPECT_EQ(NarrowPixelTypes(TWON_ONEVALUE, one.data(), one.size(), 1).error, kErrorNoCommonPixelType);
    EXPECT_EQ(NarrowPixelTypes(TWON_ONEVALUE, one.data(), 5, 1).error, kErrorContainerUnusable);
    // A 16-bit item is the low half of the field, whatever the source left in the upper half.
    Bytes dirty = Container().U16(TWTY_UINT16).U32(0xCDCD0002u).bytes;
    EXPECT_EQ(NarrowPixelTypes(TWON_ONEVALUE, dirty.data(), dirty.size(), 1u << 2).result, 1u << 2);
}

}  // namespace
}  // namespace kavrel::twainlib
