// The virtual scanner's capabilities and image layout: what an application negotiates in state 4
// and reads in states 4 to 7 (MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET, MSG_RESET,
// MSG_QUERYSUPPORT), and what they make of the next page: its pixel type, resolution and frame.
//
// Lengths are kept in inches and resolutions in dots per inch, and converted to the units the
// application chose (ICAP_UNITS) at the boundary: inches, centimetres, or pixels at the
// resolution in effect. A resolution is given in dots per unit -- per centimetre with centimetres;
// with pixels as the unit it stays in dots per inch, as a pixel has no length of its own.
#pragma once

#include <string>
#include <vector>

#include "twain/twain_protocol.h"

namespace kavrel::vscan {

// The page the scanner scans before any frame cuts it: its size, and the resolutions it can be
// scanned at (a stored image has only its own).
struct DpiRange {
    int least = 50;
    int most = 600;
    int standard = 200;
};
struct PageSpace {
    double widthInches = 6.0;
    double heightInches = 2.5;
    DpiRange x;
    DpiRange y;
    bool wholePageOnly = false;  // a compressed image, delivered as it is: no frame cuts it
};

// A frame on the page, in inches from its top left corner.
struct FrameInches {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// Faults of drivers met in the field that the negotiation reproduces (scanner_settings.h).
struct NegotiationQuirks {
    bool setOneValueOnly = false;
    std::string getOneValue;  // "", "1" or "dirty"
};

class ScannerCapabilities {
public:
    // Every capability at its default, for a page of this space (at opening).
    void Reset(const PageSpace& page);

    // A DAT_CAPABILITY triplet: its return code; on a failure or TWRC_CHECKSTATUS, `condition`
    // says why. Containers handed back are the application's to free.
    twain::TW_UINT16 Handle(twain::TW_UINT16 msg, twain::TW_CAPABILITY& cap, const NegotiationQuirks& quirks,
                            twain::TW_UINT16& condition);
    // A DG_IMAGE / DAT_IMAGELAYOUT triplet; `pageNumber` counts the pages of the batch from 1.
    twain::TW_UINT16 Layout(twain::TW_UINT16 msg, twain::TW_IMAGELAYOUT& layout, twain::TW_UINT32 pageNumber,
                            twain::TW_UINT16& condition);

    twain::TW_UINT16 PixelType() const;
    twain::TW_INT32 TransferCount() const;  // -1: as many pages as there are
    int XDpi() const;
    int YDpi() const;
    const FrameInches& Frame() const { return frame_; }
    const PageSpace& Page() const { return page_; }

private:
    enum class Kind { List, Count, Fixed, Resolution, Physical, SupportedCaps };
    struct Capability {
        twain::TW_UINT16 cap;
        Kind kind;
        twain::TW_UINT16 itemType;
        std::vector<twain::TW_UINT32> supported;
        twain::TW_UINT32 defaultValue;
        std::vector<twain::TW_UINT32> allowed;
        twain::TW_UINT32 current;
    };

    Capability* Find(twain::TW_UINT16 cap);
    const Capability* Find(twain::TW_UINT16 cap) const;
    twain::TW_UINT16 Get(twain::TW_UINT16 msg, Capability& c, twain::TW_CAPABILITY& cap, const NegotiationQuirks& quirks);
    twain::TW_UINT16 Set(Capability& c, const twain::TW_CAPABILITY& cap, const NegotiationQuirks& quirks,
                         twain::TW_UINT16& condition);
    twain::TW_UINT16 SetResolution(Capability& c, const twain::TW_CAPABILITY& cap, twain::TW_UINT16& condition);
    void ResetOne(Capability& c);
    // What follows from a value taken: the depth from the pixel type, the frame from a size.
    void Follow(Capability& c);
    twain::TW_UINT16 Units() const;
    double ToUnits(double inches, int dpi) const;
    double FromUnits(double value, int dpi) const;
    double ResolutionToUnits(int dpi) const;
    twain::TW_FRAME FrameInUnits(const FrameInches& frame) const;
    FrameInches WholePage() const;

    PageSpace page_;
    std::vector<Capability> capabilities_;
    FrameInches frame_;
};

}  // namespace kavrel::vscan
