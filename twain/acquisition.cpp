#include "twain/acquisition.h"

#include "twain/library_state.h"
#include "twain/transferred_image.h"

extern "C" void __cdecl kavrel_call_transfer_callback(TW_TRANSFER_CALLBACK callback, HANDLE dib,
                                                       int index);

namespace kavrel::twainlib {

using namespace twain;

namespace {

// Failed native transfers in a row after which the pending transfers are given up: a source
// that keeps failing must not hold the loop for ever.
constexpr int kFailedTransferAttempts = 3;

// A native transfer done or cancelled is one to end (state 7); a failed one leaves state 6.
int AfterTransfer(TW_UINT16 resultCode, const void*, int stateBefore) {
    return resultCode == TWRC_XFERDONE || resultCode == TWRC_CANCEL ? 7 : stateBefore;
}

// An ended transfer leads on to state 6 while the source reports more pending, else to 5.
int AfterEndTransfer(TW_UINT16 resultCode, const void* data, int stateBefore) {
    if (resultCode != TWRC_SUCCESS) return stateBefore;
    return static_cast<const TW_PENDINGXFERS*>(data)->Count != 0 ? 6 : 5;
}

// "Transfer ready" from an enabled source that is not transferring yet starts a batch (state 6).
int AfterEvent(TW_UINT16, const void* data, int stateBefore) {
    const bool ready = static_cast<const TW_EVENT*>(data)->TWMessage == MSG_XFERREADY;
    return ready && stateBefore == 5 ? 6 : stateBefore;
}

}  // namespace

void Acquisition::Begin() noexcept {
    image_ = nullptr;
    lastArrived_ = nullptr;
}

void Acquisition::Enabled(bool interfaceHidden) noexcept {
    interfaceHidden_ = interfaceHidden;
    batchOver_ = false;
    batchDelivered_ = false;
}

HandedMessage Acquisition::HandToSource(LPMSG message) {
    auto& s = State();
    TW_EVENT event{};
    event.pEvent = message;
    event.TWMessage = MSG_NULL;
    const int stateBefore = s.twainState;
    SendToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event, &AfterEvent);
    const HandedMessage handed{s.lastResultCode == TWRC_DSEVENT, event.TWMessage};
    if (stateBefore == 5 && s.twainState == 6) {
        const int deliveredBefore = delivered_;
        // Through the export and its guard: a transfer that throws (no memory for a bitmap's
        // copy) still ends the batch, or a source with its interface hidden would hold the loop.
        TWAIN_NativeXferGetAll(nullptr);
        batchOver_ = true;
        batchDelivered_ = delivered_ > deliveredBefore;
    }
    return handed;
}

bool Acquisition::Over() const noexcept {
    // Over once a batch has delivered an image that no later transfer undid, or once a batch is
    // over and either delivered an image (even when a later transfer of it failed) or ran with
    // the interface hidden. With the interface shown, a batch without an image leaves the operator
    // in the source's window to scan again or close it.
    return image_ || (batchOver_ && (interfaceHidden_ || batchDelivered_));
}

void Acquisition::Deliver(HANDLE dib) {
    auto& s = State();
    image_ = dib;
    lastArrived_ = dib;
    ++delivered_;
    // Listed before the callback runs: a callback that empties the list (or reads it) finds it
    // as it is, and no empty slot is counted after it.
    const int index = s.dibCount++;
    s.dibList[index] = dib;
    if (s.transferCallback) kavrel_call_transfer_callback(s.transferCallback, dib, index);
}

void Acquisition::TransferAll() {
    auto& s = State();
    SoftAssert(s.twainState == 6);
    int failuresInARow = 0;
    int ended = 0;  // transfers of this batch that ended, done or cancelled
    while (s.twainState == 6) {
        // The list is full: refuse what is still pending and keep what arrived.
        if (s.dibCount >= kDibListSlots) {
            EndPending();
            break;
        }
        HANDLE transferred = nullptr;
        SendToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &transferred, &AfterTransfer);
        const TW_UINT16 result = s.lastResultCode;
        // "Done" with no usable image in it: the transfer is ended as done, but nothing is listed
        // or handed to the callback, and the acquisition records why. It counts as a failed
        // transfer: a source that delivers only such blocks is given up too. What a cancelled or
        // failed transfer left in the handle is no image.
        const HANDLE image = result == TWRC_XFERDONE ? TakeTransferredImage(transferred) : nullptr;
        if (image) {
            failuresInARow = 0;
            Deliver(image);
        } else {
            image_ = nullptr;
            if (result == TWRC_CANCEL) {
                failuresInARow = 0;
            } else {
                ++failuresInARow;
                if (result == TWRC_XFERDONE) RecordError(kErrorUnusableImage);
            }
        }
        if (s.twainState == 7) {
            ++ended;
            EndTransfer();
        }
        // The application has what it asked for, the source keeps failing, or the batch has run
        // as long as a list could hold (a source that cancels every transfer and reports more
        // pending, for ever): it is ended here whatever the source reports as pending.
        const bool enough = s.transfersWanted > 0 && ended >= s.transfersWanted;
        const bool endless = ended >= kDibListSlots;
        if (s.twainState == 6 && (enough || endless || failuresInARow >= kFailedTransferAttempts)) {
            EndPending();
            break;
        }
    }
}

void Acquisition::EndTransfer() {
    SendToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &State().pendingTransfers, &AfterEndTransfer);
}

void Acquisition::EndPending() {
    auto& s = State();
    if (s.twainState == 7) EndTransfer();
    if (s.twainState == 6) SendToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &s.pendingTransfers, &OnSuccess<6, 5>);
}

}  // namespace kavrel::twainlib
