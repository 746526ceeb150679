// Capability negotiation with the open source (state 4): one-value setters, the current-value
// reader and the pixel-type negotiation.
#include <cstring>

#include "base/no_throw.h"
#include "base/win_handles.h"
#include "twain/capability_containers.h"
#include "twain/library_state.h"

using kavrel::GlobalBlock;
using kavrel::GlobalLockGuard;
using kavrel::twainlib::ErrorBox;
using kavrel::twainlib::RecordError;
using kavrel::twainlib::SoftAssert;
using kavrel::twainlib::State;
using namespace twain;

TWAIN_API int WINAPI TWAIN_SetCapOneValue(unsigned cap, unsigned itemType, long value) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        if (State().twainState != 4) {
            ErrorBox("Attempt to set capability outside State 4.");
            return 0;
        }
        // The count asked for is what the application will take, whatever the source answers:
        // the transfer loop holds a source that ignores it to that many (a refusal, too, leaves
        // the application wanting no more).
        if (cap == CAP_XFERCOUNT) {
            const auto count = static_cast<TW_INT16>(value);
            State().transfersWanted = count > 0 ? count : 0;
        }
        TW_CAPABILITY capability{};
        capability.Cap = static_cast<TW_UINT16>(cap);
        capability.ConType = TWON_ONEVALUE;
        GlobalBlock container(::GlobalAlloc(GHND, sizeof(TW_ONEVALUE)));
        if (!container) {
            ErrorBox("Insufficient Memory");
            return 0;
        }
        {
            GlobalLockGuard locked(container.get());
            if (!locked) {
                ErrorBox("Insufficient Memory");
                return 0;
            }
            TW_ONEVALUE one{};
            one.ItemType = static_cast<TW_UINT16>(itemType);
            one.Item = static_cast<TW_UINT32>(value);
            std::memcpy(locked.data(), &one, sizeof one);
        }
        capability.hContainer = container.get();
        return TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    });
}

TWAIN_API int WINAPI TWAIN_GetCapCurrent(unsigned cap, unsigned itemType, void* place) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        SoftAssert(place != nullptr);
        if (State().twainState < 4) {
            ErrorBox("Attempt to get capability value below State 4.");
            return 0;
        }
        // Nothing can be stored without a place, and a type without a known size cannot be read:
        // neither is asked of the source.
        if (!place || kavrel::twainlib::ItemTypeSize(itemType) == 0) return 0;
        TW_CAPABILITY capability{};
        capability.Cap = static_cast<TW_UINT16>(cap);
        capability.ConType = TWON_ONEVALUE;
        capability.hContainer = nullptr;
        const int sent = TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &capability);
        // The container is ours to free whatever the answer.
        GlobalBlock container(capability.hContainer);
        if (!sent || !container) return 0;
        GlobalLockGuard locked(container.get());
        if (!locked) return 0;
        return kavrel::twainlib::ReadCurrentValue(capability.ConType, locked.bytes(), locked.size(),
                                                  itemType, place)
                   ? 1
                   : 0;
    });
}

TWAIN_API int WINAPI TWAIN_NegotiateXferCount(int count) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        // The whole 32-bit argument is the item: -1 reaches the source as the INT16 value -1.
        return TWAIN_SetCapOneValue(CAP_XFERCOUNT, TWTY_INT16, count);
    });
}

TWAIN_API int WINAPI TWAIN_SetCurrentUnits(int units) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        return TWAIN_SetCapOneValue(ICAP_UNITS, TWTY_UINT16, static_cast<TW_UINT16>(units));
    });
}

TWAIN_API int WINAPI TWAIN_SetBitDepth(int depth) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        return TWAIN_SetCapOneValue(ICAP_BITDEPTH, TWTY_UINT16, static_cast<TW_UINT16>(depth));
    });
}

TWAIN_API int WINAPI TWAIN_SetCurrentPixelType(int pixelType) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        return TWAIN_SetCapOneValue(ICAP_PIXELTYPE, TWTY_UINT16, static_cast<TW_UINT16>(pixelType));
    });
}

namespace {

// Whether the pixel type the source holds as current is one of `mask`: how a MSG_SET answered
// TWRC_CHECKSTATUS (the source took what it could of the request) is judged.
bool CurrentPixelTypeWanted(std::uint32_t mask) {
    TW_UINT32 type = 0;  // two bytes land in its low half
    return TWAIN_GetCapCurrent(ICAP_PIXELTYPE, TWTY_UINT16, &type) && type < 32 && (mask & (1u << type));
}

// A MSG_SET of the pixel types that left a wanted type current: TWRC_SUCCESS, or TWRC_CHECKSTATUS
// with a wanted type read back. Otherwise the failed set's codes are the latest triplet's again.
bool PixelTypesTaken(int sent, std::uint32_t mask) {
    if (sent) return true;
    if (State().lastResultCode != TWRC_CHECKSTATUS) return false;
    const auto codes = kavrel::twainlib::HoldLatestTripletCodes();
    if (CurrentPixelTypeWanted(mask)) return true;
    kavrel::twainlib::RestoreTripletCodes(codes);
    return false;
}

int ReadUInt16Capability(TW_UINT16 cap) {
    // Two bytes land in the low half of a zeroed variable: 0 to 65535, and 0 when the read fails.
    TW_UINT32 value = 0;
    TWAIN_GetCapCurrent(cap, TWTY_UINT16, &value);
    return static_cast<int>(value);
}
}  // namespace

TWAIN_API int WINAPI TWAIN_GetCurrentUnits(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return ReadUInt16Capability(ICAP_UNITS); });
}

TWAIN_API int WINAPI TWAIN_GetBitDepth(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return ReadUInt16Capability(ICAP_BITDEPTH); });
}

TWAIN_API int WINAPI TWAIN_GetPixelType(void) {
    return kavrel::NoThrow(int{0}, [&]() -> int { return ReadUInt16Capability(ICAP_PIXELTYPE); });
}

TWAIN_API int WINAPI TWAIN_NegotiatePixelTypes(unsigned long pixelTypeMask) {
    return kavrel::NoThrow(int{0}, [&]() -> int {
        using namespace kavrel::twainlib;
        if (State().twainState != 4) return RecordError(kErrorNegotiateOutsideState4);
        if (pixelTypeMask == 0) return 1;

        // Every supported value, asked for as an enumeration. The TWAIN standard has the
        // application leave the container type to the source (TWON_DONTCARE16), and most sources
        // ignore what is preset, but some refuse an enumeration preset (Wine's camera source):
        // those are asked once more the standard's way.
        TW_CAPABILITY capability{};
        int sent = 0;
        GlobalBlock container;
        for (const TW_UINT16 preset : {TWON_ENUMERATION, TWON_DONTCARE16}) {
            container.reset();  // a container left by a refused request is freed before asking again
            capability = TW_CAPABILITY{};
            capability.Cap = ICAP_PIXELTYPE;
            capability.ConType = preset;
            capability.hContainer = nullptr;
            sent = TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability);
            container.reset(capability.hContainer);  // ours to free, whatever the answer
            if (sent) break;
        }
        if (!sent) return RecordError(kErrorGetPixelTypes);
        if (!container) return RecordError(kErrorNoContainer);

        PixelTypeNarrowing narrowing;
        {
            GlobalLockGuard locked(container.get());
            if (!locked) return RecordError(kErrorContainerUnusable);
            narrowing = NarrowPixelTypes(capability.ConType, locked.bytes(), locked.size(),
                                         static_cast<std::uint32_t>(pixelTypeMask));
        }
        if (!narrowing.result) return RecordError(narrowing.error);
        if (!narrowing.sendBack) return static_cast<int>(narrowing.result);
        const auto mask = static_cast<std::uint32_t>(pixelTypeMask);
        bool taken = PixelTypesTaken(TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability), mask);
        // A source that refuses the list may take one type at a time (Wine's SANE bridge answers
        // TWCC_BADCAP for an enumeration), and one that took the list but made an unwanted type
        // current may take the type itself: either is sent the preferred wanted type alone.
        if (!taken) {
            taken = PixelTypesTaken(TWAIN_SetCapOneValue(ICAP_PIXELTYPE, TWTY_UINT16, narrowing.preferredType), mask);
        }
        if (!taken) return RecordError(kErrorSetPixelTypes);
        return 1;
    });
}
