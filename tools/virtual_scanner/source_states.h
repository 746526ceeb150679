// Which triplet the virtual scanner takes in which of its states: one table. The scanner's entry
// point answers a triplet outside its states with TWRC_FAILURE and the row's condition (the
// standard's sequence error, TWCC_SEQERROR), before doing anything; its test walks the same table.
//
// A source's states, numbered as the TWAIN standard numbers a session:
//   3  closed: the manager may load it and ask its identity, nothing more
//   4  open: capabilities are negotiated
//   5  enabled: its interface is up, or it is about to scan without one
//   6  transfer ready: it said MSG_XFERREADY, pages are pending
//   7  transferring: a page was handed over (or cancelled), its end not yet acknowledged
// The ranges are the standard's (TWAIN 1.x, "valid states" of each operation, as a source sees it).
//
// What the scanner tells the application keeps to the same states: MSG_XFERREADY only on its way
// from 5 to 6 (when a batch starts), MSG_CLOSEDSREQ only while enabled (5 to 7). Fault switches
// (scanner_settings.h) break a rule on purpose, and the code says so where one does: ReadyTwice
// says MSG_XFERREADY a second time, in state 6; RefuseEndTransfer and RefuseReset take their step
// but answer it as a failure; PendingNeverFalls stays in state 6 with an empty feeder.
#pragma once

#include "twain/twain_protocol.h"

namespace kavrel::vscan {

constexpr int kSourceClosed = 3;
constexpr int kSourceOpen = 4;
constexpr int kSourceEnabled = 5;
constexpr int kTransferReady = 6;
constexpr int kTransferring = 7;

struct TripletStates {
    twain::TW_UINT32 dg;
    twain::TW_UINT16 dat;
    twain::TW_UINT16 msg;
    int firstState;
    int lastState;
    // The condition a refusal outside those states carries.
    twain::TW_UINT16 refusal;
    const char* name;

    constexpr bool AllowedIn(int state) const { return state >= firstState && state <= lastState; }
};

inline constexpr TripletStates kTripletStates[] = {
    {twain::DG_CONTROL, twain::DAT_IDENTITY, twain::MSG_GET, 3, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_IDENTITY/MSG_GET"},
    // The manager keeps one application from opening a source twice: an open reaching an open
    // source comes from a second application, and the source serves one.
    {twain::DG_CONTROL, twain::DAT_IDENTITY, twain::MSG_OPENDS, 3, 3, twain::TWCC_MAXCONNECTIONS, "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS"},
    {twain::DG_CONTROL, twain::DAT_IDENTITY, twain::MSG_CLOSEDS, 4, 4, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS"},
    {twain::DG_CONTROL, twain::DAT_STATUS, twain::MSG_GET, 4, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_STATUS/MSG_GET"},
    {twain::DG_CONTROL, twain::DAT_CAPABILITY, twain::MSG_GET, 4, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_CAPABILITY/MSG_GET"},
    {twain::DG_CONTROL, twain::DAT_CAPABILITY, twain::MSG_GETCURRENT, 4, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_CAPABILITY/MSG_GETCURRENT"},
    {twain::DG_CONTROL, twain::DAT_CAPABILITY, twain::MSG_GETDEFAULT, 4, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_CAPABILITY/MSG_GETDEFAULT"},
    {twain::DG_CONTROL, twain::DAT_CAPABILITY, twain::MSG_SET, 4, 4, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_CAPABILITY/MSG_SET"},
    {twain::DG_CONTROL, twain::DAT_CAPABILITY, twain::MSG_RESET, 4, 4, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_CAPABILITY/MSG_RESET"},
    {twain::DG_CONTROL, twain::DAT_CAPABILITY, twain::MSG_QUERYSUPPORT, 4, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_CAPABILITY/MSG_QUERYSUPPORT"},
    {twain::DG_CONTROL, twain::DAT_USERINTERFACE, twain::MSG_ENABLEDS, 4, 4, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS"},
    {twain::DG_CONTROL, twain::DAT_USERINTERFACE, twain::MSG_DISABLEDS, 5, 5, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS"},
    {twain::DG_CONTROL, twain::DAT_EVENT, twain::MSG_PROCESSEVENT, 5, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT"},
    // In state 6 an end of transfer skips the next pending page.
    {twain::DG_CONTROL, twain::DAT_PENDINGXFERS, twain::MSG_ENDXFER, 6, 7, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER"},
    {twain::DG_CONTROL, twain::DAT_PENDINGXFERS, twain::MSG_RESET, 6, 6, twain::TWCC_SEQERROR, "DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET"},
    {twain::DG_IMAGE, twain::DAT_IMAGELAYOUT, twain::MSG_GET, 4, 6, twain::TWCC_SEQERROR, "DG_IMAGE/DAT_IMAGELAYOUT/MSG_GET"},
    {twain::DG_IMAGE, twain::DAT_IMAGELAYOUT, twain::MSG_GETDEFAULT, 4, 6, twain::TWCC_SEQERROR, "DG_IMAGE/DAT_IMAGELAYOUT/MSG_GETDEFAULT"},
    {twain::DG_IMAGE, twain::DAT_IMAGELAYOUT, twain::MSG_SET, 4, 4, twain::TWCC_SEQERROR, "DG_IMAGE/DAT_IMAGELAYOUT/MSG_SET"},
    {twain::DG_IMAGE, twain::DAT_IMAGELAYOUT, twain::MSG_RESET, 4, 4, twain::TWCC_SEQERROR, "DG_IMAGE/DAT_IMAGELAYOUT/MSG_RESET"},
    {twain::DG_IMAGE, twain::DAT_IMAGEINFO, twain::MSG_GET, 6, 7, twain::TWCC_SEQERROR, "DG_IMAGE/DAT_IMAGEINFO/MSG_GET"},
    {twain::DG_IMAGE, twain::DAT_IMAGENATIVEXFER, twain::MSG_GET, 6, 6, twain::TWCC_SEQERROR, "DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET"},
};

// The row of a triplet; null for one the scanner does not know.
constexpr const TripletStates* FindTripletStates(twain::TW_UINT32 dg, twain::TW_UINT16 dat, twain::TW_UINT16 msg) {
    for (const TripletStates& row : kTripletStates) {
        if (row.dg == dg && row.dat == dat && row.msg == msg) return &row;
    }
    return nullptr;
}

}  // namespace kavrel::vscan
