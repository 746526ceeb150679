// How the virtual scanner behaves, read from an INI file at every opening and enabling, so that a test (or
// an IT department checking a workstation) can change it without rebuilding anything.
//
// The file is named by the environment variable KAVREL_VSCAN_INI, or is "virtual-scanner.ini"
// beside the scanner's own DLL (optional: without it, the defaults). A file the variable names
// must be readable (see `unusable`). Section [Scanner]; every key is optional:
//
//   Pages=1            pages in the "feeder", delivered in one batch (each Scan in the window
//                      fills it again); 0: an empty feeder -- enabling without the interface is
//                      refused (nothing would follow it), Scan does nothing
//   Width=1200         the test pattern's size in pixels at 200 dpi (drawn larger or smaller at the
//                      resolution set)
//   Height=500
//   Image=             a .bmp file delivered (as it is) instead of the test pattern; the image
//                      information then gives the file's size, depth and resolution
//   Cancel=0           1: every transfer answers "cancelled", as when the operator stops a scan
//   CloseRequest=0     1: on enabling, ask at once to be closed, as when the operator closes the
//                      scanner's window before scanning
//   FailTransfers=0    the first N transfers of each enabling fail; -1: every one fails
//   FailEnable=0       1: refuse to be enabled
//
// Faults of scanner drivers met in the field, for checking what an application does with them:
//
//   EnableAnswer=      "cancel": enabling closes the interface at once and answers TWRC_CANCEL;
//                      "checkstatus": enabled, but answered TWRC_CHECKSTATUS
//   ReadyTwice=0       1: say "transfer ready" twice for every batch
//   CloseAfterPages=0  N: after the N-th page of a batch, end the batch and ask to be closed
//   RefuseEndTransfer=0  1: answer MSG_ENDXFER with a failure (the transfer is ended all the same)
//   RefuseReset=0      1: answer MSG_RESET with a failure (the pending pages are dropped all the same)
//   Deliver=           what a transfer hands over instead of the page: "null" (a null handle),
//                      "unlockable" (a handle that is no usable memory block), "lying" (a DIB
//                      whose header claims more than its block), "empty" (a DIB 0 pixels wide),
//                      "nopalette" (a 1-bit DIB of the page's size without its colour table),
//                      "deep" (a DIB of 48 bits a pixel), both as Wine's SANE bridge hands them
//                      over, "dibsection" (the page as a GDI DIB section, rows top-down, as
//                      Wine's camera source hands over its pictures), "bitmap" (the page as a
//                      device-dependent GDI bitmap)
//   WithholdCloseRequest=0  1: never ask to be closed once a batch is over, as many drivers with
//                      their interface hidden do not
//   PendingNeverFalls=0  1: MSG_ENDXFER keeps answering the batch's first count of pending
//                      transfers, so the batch never ends by itself: once the feeder is empty,
//                      every further transfer fails (Wine's camera source behaves so)
//   HangOnOpen=0       1: MSG_OPENDS never returns, as a driver waiting for a device that does
//                      not answer
//   SetOneValueOnly=0  1: MSG_SET of a capability takes only a TW_ONEVALUE; an enumeration or an
//                      array is refused with TWCC_BADCAP (Wine's SANE bridge)
//   GetOneValue=0      1: MSG_GET answers only the current value, as a TW_ONEVALUE; "dirty": so,
//                      with the upper half of a 16-bit item's 32-bit field left as 0xCDCD, the
//                      fill of an uncleared allocation (Wine's SANE bridge), in every one-value
//                      container the scanner answers
//   EndlessBatch=0     1: MSG_ENDXFER answers a pending count of -1 after every page and the
//                      feeder never empties; CAP_XFERCOUNT is taken but ignored, and only MSG_RESET
//                      ends a batch (Wine's SANE bridge with a flatbed)
//
// Every key is read at every opening and again at every enabling (a capability is negotiated
// between the two).
//
// By default the scanner is as strict as the TWAIN Working Group's sample source, which most
// drivers start from: an enumeration sent with MSG_SET whose current index lies outside its list
// (or points at a value the scanner does not have) answers TWRC_CHECKSTATUS / TWCC_BADVALUE, the
// list taken and its first value made current.
//
// Without its window (interface hidden) the scanner asks to be closed once a batch is over, as
// its operator has no other way out (unless WithholdCloseRequest says otherwise).
#pragma once

#include <string>

namespace kavrel::vscan {

struct ScannerSettings {
    int pages = 1;
    int width = 1200;
    int height = 500;
    std::string imageFile;
    bool cancel = false;
    bool closeRequest = false;
    int failTransfers = 0;  // -1: for ever
    bool failEnable = false;
    std::string enableAnswer;
    bool readyTwice = false;
    int closeAfterPages = 0;
    bool refuseEndTransfer = false;
    bool refuseReset = false;
    std::string deliver;
    bool withholdCloseRequest = false;
    bool pendingNeverFalls = false;
    bool hangOnOpen = false;
    bool setOneValueOnly = false;
    std::string getOneValue;  // "", "1" or "dirty"
    bool endlessBatch = false;
    // Why the settings file named by KAVREL_VSCAN_INI cannot be used (missing, or a name or value
    // too long to read); empty when it can. The scanner then refuses to open and to be enabled
    // (TWCC_OPERATIONERROR) rather than behave as the defaults say.
    std::string unusable;
};

// The settings now in effect (defaults for whatever the file does not say).
ScannerSettings ReadScannerSettings();

// Where the settings are read from.
std::string ScannerSettingsPath();

}  // namespace kavrel::vscan
