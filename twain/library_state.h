// The library's process-global state and its internal operations, shared by its parts.
#pragma once

#include <windows.h>

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
    HMODULE dsmModule = nullptr;
    twain::DSMENTRYPROC dsmEntry = nullptr;
    int dsmPresence = 0;  // 0 not yet known, 1 present, -1 absent
    HWND dsmParentWindow = nullptr;
    int hideUI = 0;
    twain::TW_USERINTERFACE sourceUI{};
    twain::TW_PENDINGXFERS pendingTransfers{};
    HANDLE lastNativeImage = nullptr;
    twain::TW_UINT16 lastResultCode = 0;
    ErrorRecord lastError{};
    TW_TRANSFER_CALLBACK transferCallback = nullptr;
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
