#include "tools/kvrdiag/capability_text.h"

#include <cstdio>
#include <iterator>
#include <optional>
#include <vector>

#include "layout/byte_fields.h"
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

std::string Number(long long value) { return std::to_string(value); }

// Item types by their TWAIN names.
std::string ItemTypeName(unsigned itemType) {
    static const char* const names[] = {"TWTY_INT8",  "TWTY_INT16", "TWTY_INT32", "TWTY_UINT8",  "TWTY_UINT16",
                                        "TWTY_UINT32", "TWTY_BOOL",  "TWTY_FIX32", "TWTY_FRAME",  "TWTY_STR32",
                                        "TWTY_STR64", "TWTY_STR128", "TWTY_STR255"};
    if (itemType < std::size(names)) return names[itemType];
    return "item type " + Number(itemType);
}

// A TW_FIX32 held in 32 bits: Whole in the low half, Frac (1/65536) in the high half.
std::string Fix32Text(std::uint32_t bits) {
    const auto whole = static_cast<std::int16_t>(bits & 0xFFFF);
    const double value = whole + static_cast<double>(bits >> 16) / 65536.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
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

std::string ValueText(std::uint16_t cap, unsigned itemType, std::uint32_t bits) {
    if (itemType == TWTY_FIX32) return Fix32Text(bits);
    const std::int64_t value = Signed(itemType, bits);
    switch (cap) {
    case ICAP_PIXELTYPE: {
        static const char* const names[] = {"BW", "GRAY", "RGB", "PALETTE", "CMY", "CMYK", "YUV", "YUVK", "CIEXYZ"};
        if (value >= 0 && value < static_cast<std::int64_t>(std::size(names))) return names[value];
        return "type " + Number(value);
    }
    case ICAP_UNITS: {
        static const char* const names[] = {"inches", "centimetres", "picas", "points", "twips", "pixels"};
        if (value >= 0 && value < static_cast<std::int64_t>(std::size(names))) return names[value];
        return "unit " + Number(value);
    }
    case CAP_FEEDERENABLED:
    case CAP_UICONTROLLABLE:
    case CAP_DEVICEONLINE: return value ? "yes" : "no";
    case CAP_XFERCOUNT: return value == -1 ? "-1 (all pages)" : Number(value);
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

CapabilityText Fault(std::string what) { return {{}, std::move(what)}; }

CapabilityText DescribeRange(std::uint16_t cap, const std::uint8_t* container, std::size_t size) {
    if (size < sizeof(TW_RANGE)) {
        return Fault("a range container of " + Number(static_cast<long long>(size)) + " bytes, shorter than its " +
                     Number(sizeof(TW_RANGE)) + "-byte header");
    }
    const unsigned itemType = LoadField<std::uint16_t>(container);
    if (!twainlib::ItemTypesCompatible(itemType, StandardItemType(cap))) {
        return Fault("a range of " + ItemTypeName(itemType) + ", not " + ItemTypeName(StandardItemType(cap)));
    }
    const auto field = [&](std::size_t offset) { return ValueText(cap, itemType, LoadField<std::uint32_t>(container + offset)); };
    // TW_RANGE: ItemType, MinValue, MaxValue, StepSize, DefaultValue, CurrentValue.
    return {field(2) + " to " + field(6) + ", step " + field(10) + " (current " + field(18) + ")", {}};
}

}  // namespace

CapabilityText DescribeCapability(std::uint16_t cap, std::uint16_t conType, const std::uint8_t* container,
                                  std::size_t size) {
    if (!container) return Fault("no container");
    if (conType == TWON_RANGE) return DescribeRange(cap, container, size);
    const auto view = twainlib::ViewContainer(conType, container, size);
    if (!view) {
        if (conType != TWON_ONEVALUE && conType != TWON_ARRAY && conType != TWON_ENUMERATION) {
            return Fault("container type " + Number(conType) + ", none of the four the standard has");
        }
        return Fault("a container of " + Number(static_cast<long long>(size)) + " bytes, shorter than its header");
    }
    if (!twainlib::ItemTypesCompatible(view->itemType, StandardItemType(cap))) {
        return Fault("items of " + ItemTypeName(view->itemType) + ", not " + ItemTypeName(StandardItemType(cap)));
    }
    if (view->itemsInBlock < view->numItems) {
        return Fault("the container claims " + Number(view->numItems) + " items, its block holds " +
                     Number(view->itemsInBlock));
    }
    if (view->numItems == 0) return Fault("an empty list");
    if (conType == TWON_ENUMERATION && view->currentIndex >= view->numItems) {
        return Fault("current index " + Number(view->currentIndex) + " of a list of " + Number(view->numItems));
    }
    std::vector<std::string> values;
    for (std::uint32_t i = 0; i < view->numItems && i < kValuesShown; ++i) {
        values.push_back(ValueText(cap, view->itemType, *ItemBits(*view, container, i)));
    }
    std::string text;
    for (const auto& v : values) text += (text.empty() ? "" : ", ") + v;
    if (view->numItems > kValuesShown) text += ", ... (" + Number(view->numItems) + " in all)";
    if (conType == TWON_ENUMERATION) {
        text += " (current " + ValueText(cap, view->itemType, *ItemBits(*view, container, view->currentIndex)) + ")";
    }
    return {text, {}};
}

}  // namespace kavrel::diag
