// The library's process-global state and its internal operations, shared by its parts.
#pragma once

#include <windows.h>

#include "base/win_handles.h"
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
    HANDLE lastNativeImage = nullptr;
    // Whether the source was enabled with a request to hide its interface, and whether a batch of
    // transfers has ended since it was enabled. Such a source has no operator to close it, and many sources do not ask to be
    // closed themselves: the library's loop ends once its batch is over.
    bool interfaceHidden = false;
    bool batchEnded = false;
    // Whether the latest batch listed an image, even if a later transfer of it failed: a source
    // that never reports its batch as over (Wine's camera source keeps its pending count) would
    // otherwise hold the loop after its last image for ever.
    bool batchDelivered = false;
    // The source the operator chose with TWAIN_SelectImageSource in this process: opened by
    // TWAIN_OpenDefaultSource instead of whatever the manager holds as its default (not every
    // manager records the choice).
    bool sourceChosen = false;
    twain::TW_IDENTITY chosenSource{};
    twain::TW_UINT16 lastResultCode = 0;
    ErrorRecord lastError{};
    TW_TRANSFER_CALLBACK transferCallback = nullptr;
    // The DIBs of the latest acquisition, in arrival order. The list only refers to them: every
    // DIB belongs to whoever receives its handle (TWAIN_AcquireNative's caller, a transfer
    // callback's owner, the caller of TWAIN_GetDib), who frees it with TWAIN_FreeNative.
    // TWAIN_ClearDibList forgets the handles without freeing them. Two exports give up their DIB
    // themselves: TWAIN_AcquireToFilename frees the image after writing it, and
    // TWAIN_AcquireToClipboard hands it to the clipboard (SetClipboardData), which owns it from
    // then on (it is freed only if the clipboard could not take it).
    HANDLE dibList[kDibListSlots] = {};
    int dibCount = 0;
};

LibraryState& State();

// A message box with caption "TWAIN Error", the exclamation icon, OK only, no owner.
void ErrorBox(const char* text);
// A non-fatal "Assertion failed" box (caption "SCANKIT") when the condition is false.
void SoftAssert(bool condition);
// Keeps `code` unless an error is already recorded; always answers 0.
int RecordError(int code);
void ClearError();
// The report shown when a step of an acquisition fails.
void ReportLastError(const char* context);

}  // namespace kavrel::twainlib
