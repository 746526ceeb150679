// The operator's messages that more than one program words: the module reports them to the
// interpreter, and kvrdiag quotes them where it explains what the operator will read. Each text
// is written once and taken in both forms from that one literal: the module's Windows-1251 bytes
// (every narrow literal is, by the build's execution character set) and the same text as wide
// characters for kvrdiag's report. Plain C++, below every layer that reports or quotes them.
#pragma once

namespace kavrel {

struct OperatorMessage {
    const char* text;     // Windows-1251, as the module hands it on
    const wchar_t* wide;  // the same characters, for a report in UTF-16
};

// kvrscan's, by the answer each goes with.
extern const OperatorMessage kNoTwainDeviceMessage;     // 4: no TWAIN manager
extern const OperatorMessage kNoScanDirectoryMessage;   // 3: the directory to save into is missing
extern const OperatorMessage kNoSourceChosenMessage;    // 2: no source chosen
extern const OperatorMessage kNotConnectedMessage;      // 1: the scan or its saving failed
// The viewer's F7 when Windows names no default printer.
extern const OperatorMessage kNoDefaultPrinterMessage;

// Every message above, for the tests that hold both forms to one text.
extern const OperatorMessage* const kOperatorMessages[5];

}  // namespace kavrel
