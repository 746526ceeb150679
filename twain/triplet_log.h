// The triplet log: one line for every triplet the library sends, for support to read when a
// driver misbehaves at a workstation. Off unless a file is named for it; it never fails, nor
// noticeably slows, the call it traces.
#pragma once

namespace kavrel::twainlib {

// One triplet as the log writes it. `conditionCode` is kNoLoggedCondition unless the triplet is a
// status triplet (DAT_STATUS MSG_GET) that answered one.
struct LoggedTriplet {
    bool toSource = false;  // to the source, else to the manager
    unsigned long group = 0;
    unsigned short argumentType = 0;
    unsigned short message = 0;
    int resultCode = 0;
    int conditionCode = -1;
    int stateBefore = 0;
    int stateAfter = 0;
};
constexpr int kNoLoggedCondition = -1;

// Reads where the log goes -- the variable KAVREL_TWAIN_LOG, else the string value TwainLog under
// HKEY_CURRENT_USER\Software\Kavrel (environment strings such as %TEMP% expanded); neither means
// no log -- and opens that file to append to. Called whenever the manager is opened, so that a
// program that sets the variable in its own process before then gets a log.
void OpenTripletLog() noexcept;
// Closes the file (the manager has been closed): nothing holds it between acquisitions.
void CloseTripletLog() noexcept;
bool TripletLogOpen() noexcept;
// Appends the triplet's line. Any error writing it is swallowed.
void LogTriplet(const LoggedTriplet& triplet) noexcept;

}  // namespace kavrel::twainlib
