// What a source hands over with a native transfer, taken over as a DIB the caller can use.
#pragma once

#include <windows.h>

namespace kavrel::twainlib {

// Takes ownership of the handle a native transfer answered "done" with and answers a DIB in a
// global memory block, or null when there is no image in it.
//
// The TWAIN standard's native image is a DIB in a global memory block, and such a block is taken
// as it is when it holds a DIB that can be drawn (layout::InspectDib); any other block is freed. Some sources hand over a GDI bitmap instead (Wine's camera source gives a DIB
// section): its pixels are copied into a new packed DIB in a movable block and the bitmap is
// deleted, since the receiver owns what it was given. Anything else (a null handle, a discarded
// or foreign block, another kind of GDI object) is no image; what of it can be freed is freed.
HANDLE TakeTransferredImage(HANDLE transferred);

}  // namespace kavrel::twainlib
