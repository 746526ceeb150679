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
};

}  // namespace kavrel::twainlib
