// The library's own error codes, kept in its error record with the first failure of an
// acquisition.
#pragma once

namespace kavrel::twainlib {

enum LibraryError : int {
    kErrorNone = 0,
    kErrorGetPixelTypes = 2,
    kErrorSetPixelTypes = 3,
    kErrorOpenSource = 4,
    kErrorEnableSource = 5,
    kErrorNegotiateOutsideState4 = 7,
    kErrorNoContainer = 8,
    kErrorContainerUnusable = 9,
    kErrorContainerType = 10,
    kErrorItemType = 11,
    kErrorEmptyList = 12,
    kErrorNoCommonPixelType = 13,
    // A transfer answered "done" with a handle that is neither a usable DIB in a global memory
    // block (one that can be drawn, its sizes inside the block) nor a GDI bitmap (or a bitmap
    // that could not be turned into a DIB).
    kErrorUnusableImage = 14,
};

}  // namespace kavrel::twainlib
