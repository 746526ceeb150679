// The TWAIN standard's names of result and condition codes, for texts people read (the library's
// error box, kvrdiag's report).
#pragma once

namespace kavrel::twainlib {

// "TWRC_SUCCESS", ... ; "unknown" for a code the standard (1.6) does not have.
const char* ResultCodeName(int code);
// "TWCC_SUCCESS", ... ; "unknown" likewise.
const char* ConditionCodeName(int code);

}  // namespace kavrel::twainlib
