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
        int result = static_cast<int>(narrowing.result);
        if (narrowing.sendBack) {
            result = TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
            if (!result) RecordError(kErrorSetPixelTypes);
        }
        return result;
    });
}
