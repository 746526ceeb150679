// The identity an application hands the TWAIN manager with every triplet: filled here alone, for
// the library's default, for TWAIN_RegisterApp and for kvrdiag's own connection to the manager.
#pragma once

#include "twain/twain_protocol.h"

namespace kavrel::twainlib {

// The version and names as given (texts cut at the 33 characters a TW_STR32 holds, a null text
// taken as empty), the protocol version the library speaks, the control and image groups, and
// Id 0, which the manager replaces when it is opened.
twain::TW_IDENTITY MakeAppIdentity(int majorNum, int minorNum, int language, int country, const char* version,
                                   const char* manufacturer, const char* productFamily, const char* productName);

}  // namespace kavrel::twainlib
