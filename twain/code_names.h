// The TWAIN standard's names of result and condition codes and of the triplets' parts, for texts
// people read (the library's error box, its triplet log, kvrdiag's report).
#pragma once

namespace kavrel::twainlib {

// "TWRC_SUCCESS", ... ; "unknown" for a code the standard (1.6) does not have.
const char* ResultCodeName(int code);
// "TWCC_SUCCESS", ... ; "unknown" likewise.
const char* ConditionCodeName(int code);
// "DG_CONTROL", "DAT_IDENTITY", "MSG_OPENDS", ... for the values the library sends; nullptr for
// any other (a program may send any triplet itself), which the reader then shows as a number.
const char* DataGroupName(unsigned long group);
const char* DataArgumentTypeName(unsigned short argumentType);
const char* MessageName(unsigned short message);

}  // namespace kavrel::twainlib
