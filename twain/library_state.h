// The library's process-global state and its internal operations, shared by its parts.
#pragma once

#include <windows.h>

#include "base/win_handles.h"
#include "twain/acquisition.h"
#include "twain/library_errors.h"
#include "twain/twain.h"
#include "twain/twain_protocol.h"

namespace kavrel::twainlib {

constexpr int kDibListSlots = 999;

struct ErrorRecord {
    int error = 0;
    int resultCode = 0;
    int conditionCode = 0;
};

struct LibraryState {
    int twainState = 1;
    twain::TW_IDENTITY appIdentity{};
    twain::TW_IDENTITY sourceIdentity{};
    // Loaded from state 1 to 2 and freed from 2 to 1. Should the library itself be unloaded with
    // the manager still loaded, the owner frees it then (at process exit the system ignores that).
    Module dsmModule;
    twain::DSMENTRYPROC dsmEntry = nullptr;
    int dsmPresence = 0;  // 0 not yet known, 1 present, -1 absent
    HWND dsmParentWindow = nullptr;
    int hideUI = 0;
    twain::TW_USERINTERFACE sourceUI{};
    twain::TW_PENDINGXFERS pendingTransfers{};
    // The latest acquisition: its batches, its images and when it ends.
    Acquisition acquisition;
    // The source the operator chose with TWAIN_SelectImageSource in this process: opened by
    // TWAIN_OpenDefaultSource instead of whatever the manager holds as its default (not every
    // manager records the choice).
    bool sourceChosen = false;
    twain::TW_IDENTITY chosenSource{};
    twain::TW_UINT16 lastResultCode = 0;
    // The condition code of the latest triplet once the library has asked for it (see
    // HoldLatestTripletCodes); kNoHeldCondition otherwise. Every triplet sent clears it.
    int heldConditionCode = -1;
    ErrorRecord lastError{};
    TW_TRANSFER_CALLBACK transferCallback = nullptr;
    // Transfers the application wants of a batch: the CAP_XFERCOUNT it asked the open source for
    // (0 for as many as the source has, the count -1). Once that many transfers of a batch have
    // ended, the library resets what the source still reports pending: some sources ignore the
    // count and report more for ever (Wine's SANE bridge). Forgotten when a source is opened.
    int transfersWanted = 0;
    // The count TWAIN_AcquireNative asks of every source it opens; 0 leaves it to the source
    // (see twain/acquisition_settings.h).
    int acquireTransfersWanted = 0;
    // A TWAIN_AcquireNative is running. The library holds one session, one DIB list and one
    // acquisition's settings: a second acquisition started inside the first (from a window
    // message its loop or one of its boxes dispatched) would take the first one's source and
    // list from under it, and is refused.
    bool acquiring = false;
    // The DIBs of the latest acquisition, in arrival order. The list only refers to them: every
    // DIB belongs to whoever receives its handle (TWAIN_AcquireNative's caller, a transfer
    // callback's owner, the caller of TWAIN_GetDib), who frees it with TWAIN_FreeNative.
    // TWAIN_ClearDibList forgets the handles without freeing them. Two exports give up their DIB
    // themselves: TWAIN_AcquireToFilename frees the image after writing it, and
    // TWAIN_AcquireToClipboard hands it to the clipboard (SetClipboardData), which owns it from
    // then on (it is freed only if the clipboard could not take it); either takes it out of the
    // list, so that the list holds only what the caller may free.
    HANDLE dibList[kDibListSlots] = {};
    int dibCount = 0;
};

LibraryState& State();

// Whether an acquisition is running: one of TWAIN_AcquireNative, or a program's own with the
// source enabled (states 5 to 7, from TWAIN_EnableSource and its loop of TWAIN_MessageHook). A
// new one started inside it (from a transfer callback or a window message dispatched meanwhile)
// would clear its list and step its source back to state 1 from under it, and is refused.
inline bool InsideAnAcquisition() { return State().acquiring || State().twainState >= 5; }

// A message box with caption "TWAIN Error", the exclamation icon, OK only, no owner.
void ErrorBox(const char* text);
// A non-fatal "Assertion failed" box (caption "SCANKIT") when the condition is false.
void SoftAssert(bool condition);
constexpr int kNoHeldCondition = -1;

struct TripletCodes {
    twain::TW_UINT16 resultCode = 0;
    int conditionCode = 0;
};
// The codes of the latest triplet, its condition code asked for with a status triplet; both are
// then held as the latest triplet's, so that TWAIN_GetResultCode and TWAIN_GetConditionCode answer
// the failed step's codes rather than those of the status triplet, until the next triplet.
TripletCodes HoldLatestTripletCodes();
// Makes `codes` the latest triplet's again (after triplets sent to examine a failure).
void RestoreTripletCodes(const TripletCodes& codes);

// The state a triplet leads the library to, from its result code, its data as the source or the
// manager left it, and the state before it.
using StateAfter = int (*)(twain::TW_UINT16 resultCode, const void* data, int stateBefore);
// A step that succeeds moves the library from state `From` to `To`; anything else leaves it where
// it was.
template <int From, int To>
int OnSuccess(twain::TW_UINT16 resultCode, const void*, int stateBefore) {
    return resultCode == twain::TWRC_SUCCESS && stateBefore == From ? To : stateBefore;
}
// Sends a triplet to the open source (as TWAIN_DS does) or to the manager, moves the library to the
// state `next` says it leads to (it stays where it is without one), and writes the triplet to the
// log. 1 for TWRC_SUCCESS, else 0; TWAIN_GetResultCode answers the code.
int SendToSource(unsigned long dg, unsigned short dat, unsigned short msg, void* data, StateAfter next);
int SendToManager(unsigned long dg, unsigned short dat, unsigned short msg, void* data, StateAfter next);

// Keeps `code` unless an error is already recorded; always answers 0. For a failed step of the
// protocol it keeps the failed triplet's codes as well, and holds them (HoldLatestTripletCodes).
int RecordError(int code);
void ClearError();
// Takes `dib` out of the DIB list (those after it move up), once it is no longer the caller's to
// free: freed by the library, or given to the clipboard.
void Unlist(HANDLE dib);
// The report shown when a step of an acquisition fails.
void ReportLastError(const char* context);

}  // namespace kavrel::twainlib
