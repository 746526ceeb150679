// Capability negotiation against the scripted source: the containers sent, the containers read
// back (whatever a source puts in them), and the pixel-type narrowing.
#include <gtest/gtest.h>

#include <cstring>

#include "support/dib_builder.h"
#include "twain/scripted_twain_fixture.h"

namespace kavrel::test {
namespace {

using namespace twain;
using Names = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// Container bytes, packed as the protocol lays them out.
struct ContainerBytes {
    Bytes bytes;
    ContainerBytes& U16(std::uint16_t v) { return Put(&v, 2); }
    ContainerBytes& U32(std::uint32_t v) { return Put(&v, 4); }
    ContainerBytes& Raw(const void* p, std::size_t n) { return Put(p, n); }
    ContainerBytes& Put(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
        return *this;
    }
};

ContainerBytes OneValue(std::uint16_t itemType, std::uint32_t item) {
    return ContainerBytes{}.U16(itemType).U32(item);
}

ContainerBytes Enumeration(std::uint16_t itemType, std::uint32_t current,
                           const std::vector<std::uint16_t>& items, std::uint32_t numItems = ~0u) {
    ContainerBytes c;
    c.U16(itemType).U32(numItems == ~0u ? static_cast<std::uint32_t>(items.size()) : numItems).U32(current).U32(0);
    for (auto item : items) c.U16(item);
    return c;
}

ContainerBytes Array(std::uint16_t itemType, const std::vector<std::uint16_t>& items,
                     std::uint32_t numItems = ~0u) {
    ContainerBytes c;
    c.U16(itemType).U32(numItems == ~0u ? static_cast<std::uint32_t>(items.size()) : numItems);
    for (auto item : items) c.U16(item);
    return c;
}

class Capabilities : public ScriptedTwain {
protected:
    // The source answers `msg` for ICAP/CAP requests with this container.
    void SourceReturns(TW_UINT16 msg, TW_UINT16 conType, const ContainerBytes& container,
                       TW_UINT16 result = TWRC_SUCCESS) {
        dsm.On(DAT_CAPABILITY, msg, [=, this](Triplet& call) {
            auto* cap = static_cast<TW_CAPABILITY*>(call.data);
            cap->ConType = conType;
            cap->hContainer = BlockOf(container.bytes);
            returned.push_back(cap->hContainer);
            return result;
        });
    }
    // Whether the library freed a container the source handed over.
    static bool Freed(HGLOBAL block) { return ::GlobalSize(block) == 0; }

    std::vector<HGLOBAL> returned;
};

TEST_F(Capabilities, SetCapOneValueSendsASixByteOneValueContainer) {
    dsm.Answer(DAT_CAPABILITY, MSG_SET, TWRC_SUCCESS);
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_SetCapOneValue(0x1234, TWTY_UINT32, 0x7F00ABCD), 1);
    ASSERT_EQ(dsm.Names(), Names{"DS CAPABILITY/SET"});
    const auto cap = dsm.calls[0].As<TW_CAPABILITY>();
    EXPECT_EQ(cap.Cap, 0x1234);
    EXPECT_EQ(cap.ConType, TWON_ONEVALUE);
    EXPECT_EQ(dsm.calls[0].container, OneValue(TWTY_UINT32, 0x7F00ABCD).bytes);
    EXPECT_TRUE(Freed(cap.hContainer)) << "the library frees the container it built";

    dsm.Answer(DAT_CAPABILITY, MSG_SET, TWRC_FAILURE);
    EXPECT_EQ(kv.TWAIN_SetCapOneValue(0x1234, TWTY_UINT32, 1), 0);
    EXPECT_TRUE(Boxes().empty()) << "a refused MSG_SET shows nothing";
}

TEST_F(Capabilities, TheThinSettersSendTheirCapabilityAndItemType) {
    dsm.Answer(DAT_CAPABILITY, MSG_SET, TWRC_SUCCESS);
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_NegotiateXferCount(-1), 1);
    EXPECT_EQ(kv.TWAIN_SetCurrentUnits(0x10005), 1);
    EXPECT_EQ(kv.TWAIN_SetBitDepth(8), 1);
    EXPECT_EQ(kv.TWAIN_SetCurrentPixelType(TWPT_GRAY), 1);
    ASSERT_EQ(dsm.calls.size(), 4u);
    EXPECT_EQ(dsm.calls[0].As<TW_CAPABILITY>().Cap, CAP_XFERCOUNT);
    EXPECT_EQ(dsm.calls[0].container, OneValue(TWTY_INT16, 0xFFFFFFFF).bytes) << "-1 as a whole 32-bit item";
    EXPECT_EQ(dsm.calls[1].As<TW_CAPABILITY>().Cap, ICAP_UNITS);
    EXPECT_EQ(dsm.calls[1].container, OneValue(TWTY_UINT16, 5).bytes) << "the low 16 bits of units";
    EXPECT_EQ(dsm.calls[2].As<TW_CAPABILITY>().Cap, ICAP_BITDEPTH);
    EXPECT_EQ(dsm.calls[2].container, OneValue(TWTY_UINT16, 8).bytes);
    EXPECT_EQ(dsm.calls[3].As<TW_CAPABILITY>().Cap, ICAP_PIXELTYPE);
    EXPECT_EQ(dsm.calls[3].container, OneValue(TWTY_UINT16, TWPT_GRAY).bytes);
}

TEST_F(Capabilities, SettingOutsideState4IsRefusedWithAMessage) {
    ToState(5);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_SetCurrentPixelType(TWPT_RGB), 0);
    EXPECT_EQ(kv.TWAIN_State(), 5);
    EXPECT_TRUE(dsm.calls.empty());
    EXPECT_EQ(Boxes(), Names{"TWAIN Error|Attempt to set capability outside State 4."});
}

TEST_F(Capabilities, ReadingBelowState4IsRefusedWithAMessage) {
    ToState(3);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_GetPixelType(), 0);
    EXPECT_TRUE(dsm.calls.empty());
    EXPECT_EQ(Boxes(), Names{"TWAIN Error|Attempt to get capability value below State 4."});
}

TEST_F(Capabilities, ReadingWorksWhileTheSourceIsEnabled) {
    SourceReturns(MSG_GETCURRENT, TWON_ONEVALUE, OneValue(TWTY_UINT16, TWPT_RGB));
    ToState(5);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_GetPixelType(), TWPT_RGB);
    EXPECT_EQ(dsm.Names(), Names{"DS CAPABILITY/GETCURRENT"});
    const auto cap = dsm.calls[0].As<TW_CAPABILITY>();
    EXPECT_EQ(cap.Cap, ICAP_PIXELTYPE);
    EXPECT_EQ(cap.ConType, TWON_ONEVALUE) << "preset before the source answers";
    EXPECT_EQ(cap.hContainer, nullptr);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(Freed(returned.at(0))) << "the source's container is freed after reading";
}

TEST_F(Capabilities, TheThinReadersAskForTheirCapabilities) {
    SourceReturns(MSG_GETCURRENT, TWON_ONEVALUE, OneValue(TWTY_UINT16, 0xFFFF8));
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_GetCurrentUnits(), 0xFFF8) << "two bytes into a zeroed variable";
    EXPECT_EQ(kv.TWAIN_GetBitDepth(), 0xFFF8);
    ASSERT_EQ(dsm.calls.size(), 2u);
    EXPECT_EQ(dsm.calls[0].As<TW_CAPABILITY>().Cap, ICAP_UNITS);
    EXPECT_EQ(dsm.calls[1].As<TW_CAPABILITY>().Cap, ICAP_BITDEPTH);
}

TEST_F(Capabilities, AnEnumerationGivesTheItemAtItsCurrentIndex) {
    SourceReturns(MSG_GETCURRENT, TWON_ENUMERATION, Enumeration(TWTY_UINT16, 2, {10, 20, 30, 40}));
    ToState(4);
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_BITDEPTH, TWTY_UINT16, &value), 1);
    EXPECT_EQ(value, 0xDEAD001Eu) << "exactly two bytes are written";
}

TEST_F(Capabilities, AnEnumerationWhoseIndexIsOutOfRangeGivesNothing) {
    SourceReturns(MSG_GETCURRENT, TWON_ENUMERATION, Enumeration(TWTY_UINT16, 4, {10, 20, 30, 40}));
    ToState(4);
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_BITDEPTH, TWTY_UINT16, &value), 0);
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_TRUE(Freed(returned.at(0)));
}

TEST_F(Capabilities, ItemTypesOfTheSameSizeAreCompatible) {
    ToState(4);
    struct Case {
        std::uint16_t offered;
        std::uint16_t wanted;
        int expected;
    };
    const Case cases[] = {
        {TWTY_INT16, TWTY_UINT16, 1}, {TWTY_UINT8, TWTY_INT8, 1},   {TWTY_INT32, TWTY_UINT32, 1},
        {TWTY_UINT32, TWTY_UINT16, 0}, {TWTY_BOOL, TWTY_UINT16, 0}, {TWTY_FIX32, TWTY_UINT32, 0},
        {TWTY_UINT16, TWTY_BOOL, 0},  {TWTY_BOOL, TWTY_BOOL, 1},
    };
    for (const auto& c : cases) {
        SourceReturns(MSG_GETCURRENT, TWON_ONEVALUE, OneValue(c.offered, 0x44332211));
        std::uint32_t value = 0;
        EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_PIXELTYPE, c.wanted, &value), c.expected)
            << "offered " << c.offered << " wanted " << c.wanted;
    }
    // Bytes are copied unchanged across signedness: no sign extension.
    SourceReturns(MSG_GETCURRENT, TWON_ONEVALUE, OneValue(TWTY_INT16, 0xFFFF));
    EXPECT_EQ(kv.TWAIN_GetPixelType(), 0xFFFF);
}

TEST_F(Capabilities, OtherContainersAndRefusalsGiveNothing) {
    ToState(4);
    std::uint32_t value = 0x5A5A5A5A;
    SourceReturns(MSG_GETCURRENT, TWON_RANGE, ContainerBytes{}.U16(TWTY_UINT16).U32(0).U32(10).U32(1).U32(2).U32(3));
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &value), 0);
    SourceReturns(MSG_GETCURRENT, TWON_ARRAY, Array(TWTY_UINT16, {1, 2}));
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &value), 0);
    SourceReturns(MSG_GETCURRENT, TWON_ONEVALUE, OneValue(TWTY_UINT16, 1), TWRC_FAILURE);
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &value), 0);
    EXPECT_EQ(value, 0x5A5A5A5Au);
    for (HGLOBAL block : returned) EXPECT_TRUE(Freed(block)) << "every container that came back is freed";

    dsm.Answer(DAT_CAPABILITY, MSG_GETCURRENT, TWRC_SUCCESS);  // success, but no container
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &value), 0);
    EXPECT_EQ(value, 0x5A5A5A5Au);
}

TEST_F(Capabilities, ContainersThatClaimMoreThanTheirBlockHoldsAreNotRead) {
    ToState(4);
    std::uint8_t place[300];
    std::memset(place, 0xCC, sizeof place);
    // A one-value container of 6 bytes cannot hold a 34-byte string.
    SourceReturns(MSG_GETCURRENT, TWON_ONEVALUE, OneValue(TWTY_STR32, 0x41414141));
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(0x1000, TWTY_STR32, place), 0);
    // An enumeration that claims 100000 items and points at the last of them, in 22 bytes.
    SourceReturns(MSG_GETCURRENT, TWON_ENUMERATION, Enumeration(TWTY_UINT32, 99999, {1, 2, 3, 4}, 100000));
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(0x1000, TWTY_UINT32, place), 0);
    EXPECT_EQ(place[0], 0xCC);
    // The same string in a block that does hold it is read whole.
    char text[34] = "Scanner name, 33 chars long......";
    SourceReturns(MSG_GETCURRENT, TWON_ONEVALUE, ContainerBytes{}.U16(TWTY_STR32).Raw(text, 34));
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(0x1000, TWTY_STR32, place), 1);
    EXPECT_EQ(std::memcmp(place, text, 34), 0);
    EXPECT_EQ(place[34], 0xCC);
}

TEST_F(Capabilities, ANullPlaceOrAnUnknownItemTypeAsksNothing) {
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, nullptr), 0);
    EXPECT_EQ(Boxes(), Names{"SCANKIT|Assertion failed"});
    std::uint32_t value = 0;
    EXPECT_EQ(kv.TWAIN_GetCapCurrent(ICAP_UNITS, 13, &value), 0);
    EXPECT_TRUE(dsm.calls.empty());
}

// --- pixel-type negotiation ---------------------------------------------------------------------

TEST_F(Capabilities, AZeroMaskNegotiatesNothing) {
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(0), 1);
    EXPECT_TRUE(dsm.calls.empty());
}

TEST_F(Capabilities, NegotiatingOutsideState4FailsEvenForAZeroMask) {
    ToState(5);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(0), 0);
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(4), 0);
    EXPECT_TRUE(dsm.calls.empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Capabilities, AnEnumerationIsNarrowedInPlaceAndSentBack) {
    SourceReturns(MSG_GET, TWON_ENUMERATION, Enumeration(TWTY_UINT16, 1, {2, 0, 1, 1}));
    dsm.Answer(DAT_CAPABILITY, MSG_SET, TWRC_SUCCESS);
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(6), 1);
    ASSERT_EQ(dsm.Names(), (Names{"DS CAPABILITY/GET", "DS CAPABILITY/SET"}));
    const auto get = dsm.calls[0].As<TW_CAPABILITY>();
    EXPECT_EQ(get.Cap, ICAP_PIXELTYPE);
    EXPECT_EQ(get.ConType, TWON_ENUMERATION) << "preset before the source answers";
    const auto set = dsm.calls[1].As<TW_CAPABILITY>();
    EXPECT_EQ(set.hContainer, returned.at(0)) << "the source's own container goes back";
    // Types 1 and 2, ascending; the old entries beyond the new count stay. The indexes point into
    // the new list: the current type 0 is gone (the first kept), the default type 2 stays.
    auto expected = Enumeration(TWTY_UINT16, 0, {1, 2, 1, 1}, 2);
    const std::uint32_t defaultIndex = 1;
    std::memcpy(expected.bytes.data() + 10, &defaultIndex, 4);
    EXPECT_EQ(dsm.calls[1].container, expected.bytes);
    EXPECT_TRUE(Freed(returned.at(0)));
}

TEST_F(Capabilities, TheResultIsTheTruthOfTheSetThatSendsTheListBack) {
    SourceReturns(MSG_GET, TWON_ARRAY, Array(TWTY_INT16, {0, 1, 2}));
    dsm.Answer(DAT_CAPABILITY, MSG_SET, TWRC_FAILURE);
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1), 0);
    // The list refused, the preferred type alone is tried; that refusal is recorded with the
    // source's condition code.
    ASSERT_EQ(dsm.Names(), (Names{"DS CAPABILITY/GET", "DS CAPABILITY/SET", "DS CAPABILITY/SET", "DS STATUS/GET"}));
    EXPECT_EQ(dsm.calls[1].container, Array(TWTY_INT16, {0, 1, 2}, 1).bytes);
    EXPECT_EQ(dsm.calls[2].container, OneValue(TWTY_UINT16, TWPT_BW).bytes);
}

TEST_F(Capabilities, AOneValueIsCheckedButNotSentBack) {
    SourceReturns(MSG_GET, TWON_ONEVALUE, OneValue(TWTY_UINT16, TWPT_RGB));
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(4), 4) << "the type's own bit";
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(7), 4);
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1), 0);
    EXPECT_EQ(dsm.Names(), (Names{"DS CAPABILITY/GET", "DS CAPABILITY/GET", "DS CAPABILITY/GET"}));
    // An integer item is read by its type (a 16-bit one is the low half, whatever the upper half
    // holds); the item of another type is taken as the 32-bit field.
    SourceReturns(MSG_GET, TWON_ONEVALUE, OneValue(TWTY_UINT16, 0xCDCD0000u | TWPT_RGB));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(4), 4);
    SourceReturns(MSG_GET, TWON_ONEVALUE, OneValue(TWTY_FIX32, TWPT_GRAY));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(2), 2);
}

TEST_F(Capabilities, PixelTypesOf32AndAboveAreNeverWanted) {
    // 33 would fold onto bit 1 (grey) if taken modulo 32.
    SourceReturns(MSG_GET, TWON_ENUMERATION, Enumeration(TWTY_UINT16, 0, {33, 34}));
    ToState(4);
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(2), 0);
    SourceReturns(MSG_GET, TWON_ONEVALUE, OneValue(TWTY_UINT16, 33));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(2), 0);
}

TEST_F(Capabilities, BadListsFailTheNegotiation) {
    ToState(4);
    SourceReturns(MSG_GET, TWON_ARRAY, Array(TWTY_UINT32, {0, 0, 1, 0}));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1), 0) << "32-bit items";
    SourceReturns(MSG_GET, TWON_RANGE, ContainerBytes{}.U16(TWTY_UINT16).U32(0).U32(2).U32(1).U32(0).U32(0));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1), 0) << "a range";
    SourceReturns(MSG_GET, TWON_ENUMERATION, Enumeration(TWTY_UINT16, 0, {}));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1), 0) << "an empty list";
    SourceReturns(MSG_GET, TWON_ARRAY, Array(TWTY_UINT16, {0, 1}, 100000));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1), 0) << "more items claimed than the block holds";
    SourceReturns(MSG_GET, TWON_ARRAY, Array(TWTY_UINT16, {2}));
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1), 0) << "nothing wanted is offered";
    EXPECT_EQ(dsm.Calls("DS CAPABILITY/SET").size(), 0u);
    for (HGLOBAL block : returned) EXPECT_TRUE(Freed(block));
}

}  // namespace
}  // namespace kavrel::test
