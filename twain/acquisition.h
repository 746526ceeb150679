// One acquisition of the library: the source enabled, the batches of transfers it announces, each
// transfer and its end, whether the batch is over, and the images that arrived. The library holds
// one (LibraryState::acquisition). The triplets of its steps alone move the library between
// states 5, 6 and 7 (below them the library only lowers its own state where the source refuses
// to step down, see acquire.cpp), and it alone decides when the acquisition's loop may end.
#pragma once

#include <windows.h>

namespace kavrel::twainlib {

// What became of a window message handed to the source.
struct HandedMessage {
    bool sourcesOwn = false;         // TWRC_DSEVENT: the source's, not to be dispatched
    unsigned short sourceSaid = 0;   // what the source said with it (MSG_XFERREADY, MSG_CLOSEDSREQ...)
};

class Acquisition {
public:
    // A new acquisition (TWAIN_AcquireNative) starts without an image. Enabling alone does not
    // forget the previous one's: a program that enables the source and runs the loop itself while
    // it still holds that image gets the loop back at once, as it always did.
    void Begin() noexcept;
    // The source has been enabled (state 5); `interfaceHidden`: it was asked to hide its interface.
    void Enabled(bool interfaceHidden) noexcept;
    // Hands a window message to the enabled source (MSG_PROCESSEVENT) and, when the source says
    // with it that a batch is ready (MSG_XFERREADY), transfers the batch to its end. Only an
    // enabled source that is not transferring yet starts one: a second "ready" (a source that
    // says it twice, or a message pumped by a transfer callback) must not run a batch inside the
    // one already running.
    HandedMessage HandToSource(LPMSG message);
    // Transfers in state 6 until nothing is pending or the batch is given up (TWAIN_NativeXferGetAll).
    void TransferAll();
    // Ends the transfer of state 7 and resets what is still pending in state 6: state 5 unless
    // the source refuses (TWAIN_AbortAllPendingXfers).
    void EndPending();
    // Whether the loop that waits for the acquisition may end (see the definition).
    bool Over() const noexcept;
    // What TWAIN_AcquireNative returns: the latest image, or none when a transfer after it
    // failed or was cancelled.
    HANDLE Image() const noexcept { return image_; }
    // The latest image that arrived in this acquisition, kept even when a later transfer failed:
    // what an acquisition to a file or the clipboard hands on.
    HANDLE LastArrived() const noexcept { return lastArrived_; }

private:
    // Ends the transfer of state 7 (MSG_ENDXFER): on to state 6 while the source reports more
    // pending, else 5. A refusal leaves the state as it was.
    void EndTransfer();
    // Lists an image that arrived, makes it the acquisition's, and hands it to the callback.
    void Deliver(HANDLE dib);

    HANDLE image_ = nullptr;
    HANDLE lastArrived_ = nullptr;
    int delivered_ = 0;  // images that arrived since the acquisition began
    // Whether the source was enabled with a request to hide its interface, and whether a batch has
    // ended since it was enabled. Such a source has no operator to close it, and many sources do
    // not ask to be closed themselves: the loop ends once its batch is over.
    bool interfaceHidden_ = false;
    bool batchOver_ = false;
    // Whether the latest batch delivered an image, even if a later transfer of it failed: a source
    // that never reports its batch as over (Wine's camera source keeps its pending count) would
    // otherwise hold the loop after its last image for ever.
    bool batchDelivered_ = false;
};

}  // namespace kavrel::twainlib
