#include "tools/virtual_scanner/scanner_capabilities.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/win_handles.h"
#include "twain/capability_containers.h"

namespace kavrel::vscan {

using namespace twain;

namespace {

constexpr TW_INT32 kReadOnly = TWQC_GET | TWQC_GETDEFAULT | TWQC_GETCURRENT;
constexpr TW_INT32 kNegotiable = kReadOnly | TWQC_SET | TWQC_RESET;
constexpr double kCentimetresPerInch = 2.54;

// The paper sizes offered, where they fit on the page (width and height in inches).
struct PaperSize {
    TW_UINT16 code;
    double width;
    double height;
};
constexpr PaperSize kPaperSizes[] = {
    {TWSS_BUSINESSCARD, 90 / 25.4, 55 / 25.4},  // a client's specimen-signature card
    {TWSS_A4, 210 / 25.4, 297 / 25.4},
    {TWSS_USLETTER, 8.5, 11.0},
};

// A TW_FIX32 says -32768 to 32767.99998: a length beyond (a wide page in pixels at a high
// resolution) is given as the most it can say, never as a wrapped, negative one.
TW_UINT32 Fix32Bits(double value) {
    if (!(value > -32768.0)) value = -32768.0;  // and NaN
    if (value > 32767.0 + 65535.0 / 65536) value = 32767.0 + 65535.0 / 65536;
    const auto scaled = static_cast<TW_INT32>(std::llround(value * 65536.0));
    const TW_FIX32 fix{static_cast<TW_INT16>(scaled >> 16), static_cast<TW_UINT16>(scaled & 0xFFFF)};
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &fix, sizeof fix);
    return bits;
}

TW_FIX32 Fix32(double value) {
    const TW_UINT32 bits = Fix32Bits(value);
    TW_FIX32 fix{};
    std::memcpy(&fix, &bits, sizeof fix);
    return fix;
}

double Fix32Value(const TW_FIX32& fix) { return fix.Whole + fix.Frac / 65536.0; }

double Fix32Value(TW_UINT32 bits) {
    TW_FIX32 fix{};
    std::memcpy(&fix, &bits, sizeof fix);
    return Fix32Value(fix);
}

template <typename Record>
HGLOBAL ContainerOf(const Record& record, const void* items = nullptr, std::size_t itemBytes = 0) {
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof record + itemBytes);
    GlobalLockGuard locked(block);
    if (!locked) return block;
    std::memcpy(locked.data(), &record, sizeof record);
    if (itemBytes) std::memcpy(locked.bytes() + sizeof record, items, itemBytes);
    return block;
}

// A 16-bit item fills the low half of the field; GetOneValue=dirty leaves the upper half as an
// uncleared allocation holds it.
HGLOBAL OneValue(TW_UINT16 itemType, TW_UINT32 value, const NegotiationQuirks& quirks) {
    if (twainlib::ItemTypeSize(itemType) == 2) value = (value & 0xFFFFu) | (quirks.getOneValue == "dirty" ? 0xCDCD0000u : 0u);
    return ContainerOf(TW_ONEVALUE{itemType, value});
}

// The items as the item type stores them (16 or 32 bits each).
std::vector<std::uint8_t> PackedItems(TW_UINT16 itemType, const std::vector<TW_UINT32>& values) {
    const auto size = static_cast<std::size_t>(twainlib::ItemTypeSize(itemType));
    std::vector<std::uint8_t> bytes(size * values.size());
    for (std::size_t i = 0; i < values.size(); ++i) std::memcpy(bytes.data() + i * size, &values[i], size);
    return bytes;
}

// The values of a container the application sent; empty when it is not one we read, or when it
// claims more items than its block holds (the list it means is not the one it carries). An
// enumeration's current index goes to `currentIndex`, a one-value container's is 0, an array
// leaves it as it is.
std::vector<TW_UINT32> ContainerValues(const TW_CAPABILITY& cap, TW_UINT32* currentIndex) {
    std::vector<TW_UINT32> values;
    GlobalLockGuard locked(cap.hContainer);
    if (!locked) return values;
    const auto view = twainlib::ViewContainer(cap.ConType, locked.bytes(), locked.size());
    if (!view || view->itemsInBlock < view->numItems) return values;
    if (cap.ConType != TWON_ARRAY) *currentIndex = view->currentIndex;
    for (TW_UINT32 i = 0; i < view->itemsInBlock; ++i) {
        const auto value = twainlib::IntegerItem(*view, locked.bytes(), i);
        if (!value) break;
        values.push_back(*value);
    }
    return values;
}

bool Contains(const std::vector<TW_UINT32>& list, TW_UINT32 value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

TW_UINT32 DepthFor(TW_UINT32 pixelType) { return pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24; }

}  // namespace

void ScannerCapabilities::Reset(const PageSpace& page) {
    page_ = page;
    const auto list = [](TW_UINT16 cap, std::vector<TW_UINT32> values, TW_UINT32 defaultValue) {
        return Capability{cap, Kind::List, TWTY_UINT16, std::move(values), defaultValue, {}, 0};
    };
    std::vector<TW_UINT32> sizes{TWSS_NONE};
    for (const PaperSize& size : kPaperSizes) {
        if (!page.wholePageOnly && size.width <= page.widthInches + 1e-6 && size.height <= page.heightInches + 1e-6) sizes.push_back(size.code);
    }
    capabilities_ = {
        {CAP_SUPPORTEDCAPS, Kind::SupportedCaps, TWTY_UINT16, {}, 0, {}, 0},
        // -1: as many pages as the feeder holds.
        {CAP_XFERCOUNT, Kind::Count, TWTY_INT16, {}, 0xFFFFFFFFu, {}, 0},
        {CAP_UICONTROLLABLE, Kind::Fixed, TWTY_BOOL, {}, 1, {}, 0},
        {CAP_DEVICEONLINE, Kind::Fixed, TWTY_BOOL, {}, 1, {}, 0},
        list(ICAP_XFERMECH, {TWSX_NATIVE}, TWSX_NATIVE),
        list(ICAP_COMPRESSION, {TWCP_NONE}, TWCP_NONE),
        list(ICAP_PIXELFLAVOR, {TWPF_CHOCOLATE}, TWPF_CHOCOLATE),
        list(ICAP_PLANARCHUNKY, {TWPC_CHUNKY}, TWPC_CHUNKY),
        list(ICAP_BITORDER, {TWBO_MSBFIRST}, TWBO_MSBFIRST),
        list(ICAP_PIXELTYPE, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, TWPT_RGB),
        list(ICAP_BITDEPTH, {1, 8, 24}, 24),
        list(ICAP_UNITS, {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PIXELS}, TWUN_INCHES),
        {ICAP_XRESOLUTION, Kind::Resolution, TWTY_FIX32, {}, static_cast<TW_UINT32>(page.x.standard), {}, 0},
        {ICAP_YRESOLUTION, Kind::Resolution, TWTY_FIX32, {}, static_cast<TW_UINT32>(page.y.standard), {}, 0},
        {ICAP_PHYSICALWIDTH, Kind::Physical, TWTY_FIX32, {}, 0, {}, 0},
        {ICAP_PHYSICALHEIGHT, Kind::Physical, TWTY_FIX32, {}, 0, {}, 0},
        list(ICAP_SUPPORTEDSIZES, sizes, TWSS_NONE),
    };
    for (Capability& c : capabilities_) ResetOne(c);
    frame_ = WholePage();
}

ScannerCapabilities::Capability* ScannerCapabilities::Find(TW_UINT16 cap) {
    for (Capability& c : capabilities_) {
        if (c.cap == cap) return &c;
    }
    return nullptr;
}

const ScannerCapabilities::Capability* ScannerCapabilities::Find(TW_UINT16 cap) const {
    return const_cast<ScannerCapabilities*>(this)->Find(cap);
}

TW_UINT16 ScannerCapabilities::PixelType() const { return static_cast<TW_UINT16>(Find(ICAP_PIXELTYPE)->current); }
TW_INT32 ScannerCapabilities::TransferCount() const { return static_cast<TW_INT32>(Find(CAP_XFERCOUNT)->current); }
int ScannerCapabilities::XDpi() const { return static_cast<int>(Find(ICAP_XRESOLUTION)->current); }
int ScannerCapabilities::YDpi() const { return static_cast<int>(Find(ICAP_YRESOLUTION)->current); }
TW_UINT16 ScannerCapabilities::Units() const { return static_cast<TW_UINT16>(Find(ICAP_UNITS)->current); }

double ScannerCapabilities::ToUnits(double inches, int dpi) const {
    switch (Units()) {
    case TWUN_CENTIMETERS: return inches * kCentimetresPerInch;
    case TWUN_PIXELS: return inches * dpi;
    default: return inches;
    }
}

double ScannerCapabilities::FromUnits(double value, int dpi) const {
    switch (Units()) {
    case TWUN_CENTIMETERS: return value / kCentimetresPerInch;
    case TWUN_PIXELS: return value / dpi;
    default: return value;
    }
}

double ScannerCapabilities::ResolutionToUnits(int dpi) const {
    return Units() == TWUN_CENTIMETERS ? dpi / kCentimetresPerInch : dpi;
}

FrameInches ScannerCapabilities::WholePage() const { return {0, 0, page_.widthInches, page_.heightInches}; }

TW_FRAME ScannerCapabilities::FrameInUnits(const FrameInches& frame) const {
    return {Fix32(ToUnits(frame.left, XDpi())), Fix32(ToUnits(frame.top, YDpi())), Fix32(ToUnits(frame.right, XDpi())),
            Fix32(ToUnits(frame.bottom, YDpi()))};
}

void ScannerCapabilities::ResetOne(Capability& c) {
    c.allowed = c.supported;
    c.current = c.defaultValue;
    Follow(c);
}

void ScannerCapabilities::Follow(Capability& c) {
    if (c.cap == ICAP_PIXELTYPE) {
        if (Capability* depth = Find(ICAP_BITDEPTH)) Follow(*depth);
    } else if (c.cap == ICAP_BITDEPTH) {
        // One depth per pixel type: the depth offered is the one the type delivers.
        const Capability* type = Find(ICAP_PIXELTYPE);
        c.allowed = {DepthFor(type ? type->current : TWPT_RGB)};
        c.current = c.allowed.front();
    } else if (c.cap == ICAP_SUPPORTEDSIZES) {
        // A paper size is a frame from the page's corner; "none" is the whole page.
        frame_ = WholePage();
        for (const PaperSize& size : kPaperSizes) {
            if (size.code == c.current) frame_ = {0, 0, size.width, size.height};
        }
    }
}

TW_UINT16 ScannerCapabilities::Handle(TW_UINT16 msg, TW_CAPABILITY& cap, const NegotiationQuirks& quirks,
                                      TW_UINT16& condition) {
    Capability* c = Find(cap.Cap);
    if (!c) {
        condition = TWCC_CAPUNSUPPORTED;
        return TWRC_FAILURE;
    }
    const bool readOnly = c->kind == Kind::Fixed || c->kind == Kind::Physical || c->kind == Kind::SupportedCaps;
    TW_UINT16 result = TWRC_SUCCESS;
    switch (msg) {
    case MSG_QUERYSUPPORT:
        cap.ConType = TWON_ONEVALUE;
        cap.hContainer = ContainerOf(TW_ONEVALUE{TWTY_INT32, static_cast<TW_UINT32>(readOnly ? kReadOnly : kNegotiable)});
        break;
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT:
        return Get(msg, *c, cap, quirks) == TWRC_SUCCESS ? TWRC_SUCCESS : (condition = TWCC_LOWMEMORY, TWRC_FAILURE);
    case MSG_SET:
        if (readOnly) {
            condition = TWCC_CAPBADOPERATION;
            return TWRC_FAILURE;
        }
        return Set(*c, cap, quirks, condition);
    case MSG_RESET:
        if (readOnly) {
            condition = TWCC_CAPBADOPERATION;
            return TWRC_FAILURE;
        }
        ResetOne(*c);
        // The answer is the value now current.
        return Get(MSG_GETCURRENT, *c, cap, quirks) == TWRC_SUCCESS ? TWRC_SUCCESS
                                                                     : (condition = TWCC_LOWMEMORY, TWRC_FAILURE);
    default:
        condition = TWCC_CAPBADOPERATION;
        return TWRC_FAILURE;
    }
    if (!cap.hContainer) {
        condition = TWCC_LOWMEMORY;
        result = TWRC_FAILURE;
    }
    return result;
}

TW_UINT16 ScannerCapabilities::Get(TW_UINT16 msg, Capability& c, TW_CAPABILITY& cap, const NegotiationQuirks& quirks) {
    cap.ConType = TWON_ONEVALUE;
    switch (c.kind) {
    case Kind::SupportedCaps: {
        std::vector<TW_UINT32> caps;
        for (const Capability& each : capabilities_) caps.push_back(each.cap);
        const auto items = PackedItems(TWTY_UINT16, caps);
        cap.ConType = TWON_ARRAY;
        cap.hContainer = ContainerOf(TW_ARRAY_HEADER{TWTY_UINT16, static_cast<TW_UINT32>(caps.size())}, items.data(), items.size());
        break;
    }
    case Kind::Physical: {
        const bool width = c.cap == ICAP_PHYSICALWIDTH;
        const double inches = width ? page_.widthInches : page_.heightInches;
        cap.hContainer = ContainerOf(TW_ONEVALUE{TWTY_FIX32, Fix32Bits(ToUnits(inches, width ? XDpi() : YDpi()))});
        break;
    }
    case Kind::Resolution: {
        const auto units = [&](TW_UINT32 dpi) { return Fix32Bits(ResolutionToUnits(static_cast<int>(dpi))); };
        const DpiRange& dpis = c.cap == ICAP_XRESOLUTION ? page_.x : page_.y;
        if (msg == MSG_GET) {
            // Every whole number of dots per inch between the least and the most.
            const TW_RANGE range{TWTY_FIX32,
                                 units(static_cast<TW_UINT32>(dpis.least)),
                                 units(static_cast<TW_UINT32>(dpis.most)),
                                 units(1),
                                 units(c.defaultValue),
                                 units(c.current)};
            cap.ConType = TWON_RANGE;
            cap.hContainer = ContainerOf(range);
        } else {
            cap.hContainer = ContainerOf(TW_ONEVALUE{TWTY_FIX32, units(msg == MSG_GETCURRENT ? c.current : c.defaultValue)});
        }
        break;
    }
    case Kind::List:
        if (msg == MSG_GET && quirks.getOneValue.empty()) {
            const auto at = std::find(c.allowed.begin(), c.allowed.end(), c.current);
            // The default is among the items offered; the depth's is the pixel type's own.
            const TW_UINT32 defaultValue = c.cap == ICAP_BITDEPTH ? c.current : c.defaultValue;
            const auto def = std::find(c.allowed.begin(), c.allowed.end(), defaultValue);
            const TW_ENUMERATION_HEADER header{c.itemType, static_cast<TW_UINT32>(c.allowed.size()),
                                               static_cast<TW_UINT32>(at - c.allowed.begin()),
                                               def == c.allowed.end() ? 0 : static_cast<TW_UINT32>(def - c.allowed.begin())};
            const auto items = PackedItems(c.itemType, c.allowed);
            cap.ConType = TWON_ENUMERATION;
            cap.hContainer = ContainerOf(header, items.data(), items.size());
            break;
        }
        cap.hContainer = OneValue(c.itemType, msg == MSG_GETDEFAULT && c.cap != ICAP_BITDEPTH ? c.defaultValue : c.current, quirks);
        break;
    case Kind::Count:
    case Kind::Fixed:
        cap.hContainer = OneValue(c.itemType, msg == MSG_GETDEFAULT ? c.defaultValue : c.current, quirks);
        break;
    }
    return cap.hContainer ? TWRC_SUCCESS : TWRC_FAILURE;
}

TW_UINT16 ScannerCapabilities::Set(Capability& c, const TW_CAPABILITY& cap, const NegotiationQuirks& quirks,
                                   TW_UINT16& condition) {
    const auto fail = [&](TW_UINT16 why) {
        condition = why;
        return TWRC_FAILURE;
    };
    if (quirks.setOneValueOnly && cap.ConType != TWON_ONEVALUE) return fail(TWCC_BADCAP);
    if (c.kind == Kind::Resolution) return SetResolution(c, cap, condition);
    TW_UINT32 currentIndex = 0xFFFFFFFF;
    const std::vector<TW_UINT32> values = ContainerValues(cap, &currentIndex);
    if (values.empty()) return fail(TWCC_BADVALUE);
    if (c.kind == Kind::Count) {
        // The transfer count: -1 (all pages) or a positive number of pages a TW_INT16 holds, as one
        // value.
        const auto count = static_cast<TW_INT32>(values.front());
        if (cap.ConType != TWON_ONEVALUE || count == 0 || count < -1 || count > 32767) return fail(TWCC_BADVALUE);
        c.current = static_cast<TW_UINT32>(count);
        return TWRC_SUCCESS;
    }
    if (c.cap == ICAP_BITDEPTH) {
        // Only the current pixel type's depth can be set.
        if (values.size() != 1 || values.front() != c.current) return fail(TWCC_BADVALUE);
        return TWRC_SUCCESS;
    }
    if (cap.ConType == TWON_ONEVALUE) {
        // The current value, which must be one the application allowed: the enumeration the
        // source answers then always has its current item among its items.
        if (!Contains(c.allowed, values.front())) return fail(TWCC_BADVALUE);
        c.current = values.front();
        Follow(c);
        return TWRC_SUCCESS;
    }
    // A new list of allowed values, of those the source supports.
    std::vector<TW_UINT32> allowed;
    for (TW_UINT32 v : values) {
        if (Contains(c.supported, v) && !Contains(allowed, v)) allowed.push_back(v);
    }
    if (allowed.empty()) return fail(TWCC_BADVALUE);
    c.allowed = allowed;
    // An array names no current value: the one in effect stays if allowed. An enumeration's
    // current index must point at a value that is kept, as a standard source demands: else the
    // list is taken, its first value made current, and the answer says so.
    bool currentTaken = true;
    if (cap.ConType == TWON_ENUMERATION) {
        currentTaken = currentIndex < values.size() && Contains(allowed, values[currentIndex]);
        c.current = currentTaken ? values[currentIndex] : allowed.front();
    } else if (!Contains(allowed, c.current)) {
        c.current = allowed.front();
    }
    Follow(c);
    if (!currentTaken) {
        condition = TWCC_BADVALUE;
        return TWRC_CHECKSTATUS;
    }
    return TWRC_SUCCESS;
}

// A resolution is set as one TW_FIX32 value in dots per unit. One within the range but between
// two whole dots per inch is taken as the nearer, and the answer says so; one outside is refused.
// A list or range that would narrow the choice is refused too (the scanner takes every value of
// its range).
TW_UINT16 ScannerCapabilities::SetResolution(Capability& c, const TW_CAPABILITY& cap, TW_UINT16& condition) {
    TW_ONEVALUE one{};
    {
        GlobalLockGuard locked(cap.hContainer);
        if (cap.ConType != TWON_ONEVALUE || !locked || locked.size() < sizeof one) {
            condition = TWCC_BADVALUE;
            return TWRC_FAILURE;
        }
        std::memcpy(&one, locked.data(), sizeof one);
    }
    if (one.ItemType != TWTY_FIX32) {
        condition = TWCC_BADVALUE;
        return TWRC_FAILURE;
    }
    const double dpi = Units() == TWUN_CENTIMETERS ? Fix32Value(one.Item) * kCentimetresPerInch : Fix32Value(one.Item);
    const long whole = std::lround(dpi);
    const DpiRange& dpis = c.cap == ICAP_XRESOLUTION ? page_.x : page_.y;
    if (whole < dpis.least || whole > dpis.most) {
        condition = TWCC_BADVALUE;
        return TWRC_FAILURE;
    }
    c.current = static_cast<TW_UINT32>(whole);
    // Within a FIX32's precision of the unit's own value is taken as that value.
    if (std::abs(ResolutionToUnits(static_cast<int>(whole)) - Fix32Value(one.Item)) > 1.0 / 32768) {
        condition = TWCC_BADVALUE;
        return TWRC_CHECKSTATUS;
    }
    return TWRC_SUCCESS;
}

TW_UINT16 ScannerCapabilities::Layout(TW_UINT16 msg, TW_IMAGELAYOUT& layout, TW_UINT32 pageNumber, TW_UINT16& condition) {
    const auto answer = [&](const FrameInches& frame) {
        layout.Frame = FrameInUnits(frame);
        layout.DocumentNumber = 1;
        layout.PageNumber = pageNumber;
        layout.FrameNumber = 1;
        return TWRC_SUCCESS;
    };
    switch (msg) {
    case MSG_GET: return answer(frame_);
    case MSG_GETDEFAULT: return answer(WholePage());
    case MSG_RESET:
        ResetOne(*Find(ICAP_SUPPORTEDSIZES));  // no paper size: the whole page
        return answer(frame_);
    case MSG_SET: break;
    default:
        condition = TWCC_BADPROTOCOL;
        return TWRC_FAILURE;
    }
    // A frame reaching over the page's edges is cut to the page (a page that cannot be cut takes
    // its whole self), and the answer says so; one that leaves nothing of the page is refused.
    const TW_FRAME& asked = layout.Frame;
    const FrameInches wanted{FromUnits(Fix32Value(asked.Left), XDpi()), FromUnits(Fix32Value(asked.Top), YDpi()),
                             FromUnits(Fix32Value(asked.Right), XDpi()), FromUnits(Fix32Value(asked.Bottom), YDpi())};
    const FrameInches cut{std::max(wanted.left, 0.0), std::max(wanted.top, 0.0), std::min(wanted.right, page_.widthInches),
                          std::min(wanted.bottom, page_.heightInches)};
    if (!(cut.right > cut.left && cut.bottom > cut.top)) {
        condition = TWCC_BADVALUE;
        return TWRC_FAILURE;
    }
    // A frame set is no paper size: the sizes are offered again, none of them current.
    ResetOne(*Find(ICAP_SUPPORTEDSIZES));
    // A page that cannot be cut (a compressed image) takes only its whole self.
    frame_ = page_.wholePageOnly ? WholePage() : cut;
    // A frame sent back as the scanner gave it may lie a FIX32's rounding beyond the page (in
    // centimetres, a few millionths of an inch): that is no cut.
    constexpr double kSlack = 1e-4;
    const bool wasCut = std::abs(frame_.left - wanted.left) > kSlack || std::abs(frame_.top - wanted.top) > kSlack ||
                        std::abs(frame_.right - wanted.right) > kSlack || std::abs(frame_.bottom - wanted.bottom) > kSlack;
    answer(frame_);
    if (wasCut) {
        condition = TWCC_BADVALUE;
        return TWRC_CHECKSTATUS;
    }
    return TWRC_SUCCESS;
}

}  // namespace kavrel::vscan
