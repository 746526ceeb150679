#include "tools/kvrdiag/capability_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>

#include "layout/byte_fields.h"
#include "tools/kvrdiag/texts.h"
#include "twain/capability_containers.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {

using namespace twain;
using layout::LoadField;

namespace {

// More values than this are summed up: a resolution list can hold hundreds.
constexpr std::uint32_t kValuesShown = 12;

// The item type the standard gives each capability the report asks about.
unsigned StandardItemType(std::uint16_t cap) {
    switch (cap) {
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: return TWTY_FIX32;
    case CAP_XFERCOUNT: return TWTY_INT16;
    case CAP_FEEDERENABLED:
    case CAP_UICONTROLLABLE:
    case CAP_DEVICEONLINE: return TWTY_BOOL;
    default: return TWTY_UINT16;
    }
}

std::wstring Number(long long value) { return std::to_wstring(value); }

// Item types by their TWAIN names.
std::wstring ItemTypeName(Language language, unsigned itemType) {
    static const wchar_t* const names[] = {L"TWTY_INT8",   L"TWTY_INT16",  L"TWTY_INT32", L"TWTY_UINT8", L"TWTY_UINT16",
                                           L"TWTY_UINT32", L"TWTY_BOOL",   L"TWTY_FIX32", L"TWTY_FRAME", L"TWTY_STR32",
                                           L"TWTY_STR64",  L"TWTY_STR128", L"TWTY_STR255"};
    if (itemType < std::size(names)) return names[itemType];
    return Say(language, TextId::ItemTypeNumber, {Number(itemType)});
}

// A TW_FIX32 held in 32 bits: Whole in the low half, Frac (1/65536) in the high half.
std::wstring Fix32Text(Language language, std::uint32_t bits) {
    const auto whole = static_cast<std::int16_t>(bits & 0xFFFF);
    const double value = whole + static_cast<double>(bits >> 16) / 65536.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::wstring s(text, text + std::strlen(text));
    while (s.back() == L'0') s.pop_back();
    if (s.back() == L'.') s.pop_back();
    // A decimal comma in Russian.
    if (language == Language::Russian) std::replace(s.begin(), s.end(), L'.', L',');
    return s;
}

// An item's 32 bits as the container's item type holds them, signed types sign-extended.
std::int64_t Signed(unsigned itemType, std::uint32_t bits) {
    switch (itemType) {
    case TWTY_INT8: return static_cast<std::int8_t>(bits & 0xFF);
    case TWTY_INT16: return static_cast<std::int16_t>(bits & 0xFFFF);
    case TWTY_INT32: return static_cast<std::int32_t>(bits);
    case TWTY_UINT8: return bits & 0xFF;
    case TWTY_UINT16:
    case TWTY_BOOL: return bits & 0xFFFF;
    default: return bits;
    }
}

std::wstring ValueText(Language language, std::uint16_t cap, unsigned itemType, std::uint32_t bits) {
    if (itemType == TWTY_FIX32) return Fix32Text(language, bits);
    const std::int64_t value = Signed(itemType, bits);
    switch (cap) {
    case ICAP_PIXELTYPE: {
        static const wchar_t* const names[] = {L"BW",  L"GRAY", L"RGB",  L"PALETTE", L"CMY",
                                               L"CMYK", L"YUV", L"YUVK", L"CIEXYZ"};
        if (value >= 0 && value < static_cast<std::int64_t>(std::size(names))) return names[value];
        return Say(language, TextId::PixelTypeNumber, {Number(value)});
    }
    case ICAP_UNITS: {
        static const TextId names[] = {TextId::UnitInches, TextId::UnitCentimetres, TextId::UnitPicas,
                                       TextId::UnitPoints, TextId::UnitTwips,       TextId::UnitPixels};
        if (value >= 0 && value < static_cast<std::int64_t>(std::size(names))) return Say(language, names[value]);
        return Say(language, TextId::UnitNumber, {Number(value)});
    }
    case CAP_FEEDERENABLED:
    case CAP_UICONTROLLABLE:
    case CAP_DEVICEONLINE: return Say(language, value ? TextId::Yes : TextId::No);
    case CAP_XFERCOUNT: return value == -1 ? Say(language, TextId::AllPages) : Number(value);
    default: return Number(value);
    }
}

// Item `index` of the container as 32 bits: integers and booleans as IntegerItem reads them,
// a TW_FIX32 as its four bytes.
std::optional<std::uint32_t> ItemBits(const twainlib::ContainerView& view, const std::uint8_t* container,
                                      std::uint32_t index) {
    if (view.itemType != TWTY_FIX32) return twainlib::IntegerItem(view, container, index);
    if (index >= view.itemsInBlock) return std::nullopt;
    return LoadField<std::uint32_t>(container + view.itemsOffset + std::size_t{index} * 4);
}

CapabilityText Fault(std::wstring what) { return {{}, std::move(what)}; }

CapabilityText DescribeRange(Language language, std::uint16_t cap, const std::uint8_t* container, std::size_t size) {
    if (size < sizeof(TW_RANGE)) {
        return Fault(Say(language, TextId::RangeCutShort,
                         {Number(static_cast<long long>(size)), Number(sizeof(TW_RANGE))}));
    }
    const unsigned itemType = LoadField<std::uint16_t>(container);
    if (!twainlib::ItemTypesCompatible(itemType, StandardItemType(cap))) {
        return Fault(Say(language, TextId::RangeOfWrongType,
                         {ItemTypeName(language, itemType), ItemTypeName(language, StandardItemType(cap))}));
    }
    const auto field = [&](std::size_t offset) {
        return ValueText(language, cap, itemType, LoadField<std::uint32_t>(container + offset));
    };
    // TW_RANGE: ItemType, MinValue, MaxValue, StepSize, DefaultValue, CurrentValue.
    return {Say(language, TextId::RangeValues, {field(2), field(6), field(10), field(18)}), {}};
}

}  // namespace

CapabilityText DescribeCapability(Language language, std::uint16_t cap, std::uint16_t conType,
                                  const std::uint8_t* container, std::size_t size) {
    if (!container) return Fault(Say(language, TextId::NoContainer));
    if (conType == TWON_RANGE) return DescribeRange(language, cap, container, size);
    const auto view = twainlib::ViewContainer(conType, container, size);
    if (!view) {
        if (conType != TWON_ONEVALUE && conType != TWON_ARRAY && conType != TWON_ENUMERATION) {
            return Fault(Say(language, TextId::UnknownContainerType, {Number(conType)}));
        }
        return Fault(Say(language, TextId::ContainerCutShort, {Number(static_cast<long long>(size))}));
    }
    if (!twainlib::ItemTypesCompatible(view->itemType, StandardItemType(cap))) {
        return Fault(Say(language, TextId::ItemsOfWrongType,
                         {ItemTypeName(language, view->itemType), ItemTypeName(language, StandardItemType(cap))}));
    }
    if (view->itemsInBlock < view->numItems) {
        return Fault(Say(language, TextId::MoreItemsClaimed, {Number(view->numItems), Number(view->itemsInBlock)}));
    }
    if (view->numItems == 0) return Fault(Say(language, TextId::EmptyList));
    if (conType == TWON_ENUMERATION && view->currentIndex >= view->numItems) {
        return Fault(Say(language, TextId::CurrentIndexPastList, {Number(view->currentIndex), Number(view->numItems)}));
    }
    std::wstring text;
    for (std::uint32_t i = 0; i < view->numItems && i < kValuesShown; ++i) {
        text += (text.empty() ? L"" : L", ") + ValueText(language, cap, view->itemType, *ItemBits(*view, container, i));
    }
    if (view->numItems > kValuesShown) text += Say(language, TextId::ValuesInAll, {Number(view->numItems)});
    if (conType == TWON_ENUMERATION) {
        text += Say(language, TextId::CurrentValue,
                    {ValueText(language, cap, view->itemType, *ItemBits(*view, container, view->currentIndex))});
    }
    return {text, {}};
}

}  // namespace kavrel::diag
