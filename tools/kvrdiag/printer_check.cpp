// 4. Printing: the default printer the viewer's F7 prints on, found and opened the way F7 does.
#include <windows.h>

#include "base/operator_messages.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/printer_probe.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

struct StatusFlag {
    DWORD flag;
    const wchar_t* name;
    bool problem;  // the printer will not print until someone sees to it
};

const StatusFlag kStatusFlags[] = {
    {PRINTER_STATUS_PAUSED, L"paused", true},
    {PRINTER_STATUS_ERROR, L"in error", true},
    {PRINTER_STATUS_PENDING_DELETION, L"being deleted", true},
    {PRINTER_STATUS_PAPER_JAM, L"paper jam", true},
    {PRINTER_STATUS_PAPER_OUT, L"out of paper", true},
    {PRINTER_STATUS_MANUAL_FEED, L"waiting for manual feed", true},
    {PRINTER_STATUS_PAPER_PROBLEM, L"paper problem", true},
    {PRINTER_STATUS_OFFLINE, L"offline", true},
    {PRINTER_STATUS_IO_ACTIVE, L"busy with input or output", false},
    {PRINTER_STATUS_BUSY, L"busy", false},
    {PRINTER_STATUS_PRINTING, L"printing", false},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, L"output bin full", true},
    {PRINTER_STATUS_NOT_AVAILABLE, L"not available", true},
    {PRINTER_STATUS_WAITING, L"waiting", false},
    {PRINTER_STATUS_PROCESSING, L"processing", false},
    {PRINTER_STATUS_INITIALIZING, L"initialising", false},
    {PRINTER_STATUS_WARMING_UP, L"warming up", false},
    {PRINTER_STATUS_TONER_LOW, L"toner low", false},
    {PRINTER_STATUS_NO_TONER, L"out of toner", true},
    {PRINTER_STATUS_PAGE_PUNT, L"cannot print the current page", true},
    {PRINTER_STATUS_USER_INTERVENTION, L"needs someone to see to it", true},
    {PRINTER_STATUS_OUT_OF_MEMORY, L"out of memory", true},
    {PRINTER_STATUS_DOOR_OPEN, L"door open", true},
    {PRINTER_STATUS_SERVER_UNKNOWN, L"its server is unknown", true},
    {PRINTER_STATUS_POWER_SAVE, L"in power save", false},
};

}  // namespace

void CheckPrinting(const std::wstring& self, std::chrono::milliseconds limit, ReportSection& section) {
    const SpoolerAnswer answer = AskSpoolerInOwnProcess(self, limit);
    const PrinterFacts* facts = &answer.facts;
    const std::wstring seconds = WholeSeconds(limit);
    if (answer.stage == SpoolerStage::NotStarted) {
        section.Fail(L"the printing check could not be started: " + SystemError(answer.startError),
                     L"run kvrdiag again; if this stays, restart Windows");
        return;
    }
    const bool driverReached = answer.stage == SpoolerStage::OpeningPrinter || answer.stage == SpoolerStage::MakingDevice;
    if (driverReached && !(answer.ended && answer.exitCode == 0)) {
        // The printer's driver was being loaded (to read its settings, or for a device context):
        // F7 does both in the interpreter's process.
        const std::wstring driver =
            (facts->driver.empty() ? std::wstring(L"its driver") : L"the driver " + Quoted(FromAnsi(facts->driver))) +
            (facts->driverFile.empty() ? L"" : L" (" + FromAnsi(facts->driverFile) + L")");
        const std::wstring when = answer.stage == SpoolerStage::OpeningPrinter ? L"opening the printer"
                                                                                : L"making F7's device context";
        section.Fail(driver + L" of default printer " + Quoted(FromAnsi(facts->name)) +
                         (answer.ended ? L" ended the process that loaded it (exit code " +
                                             std::to_wstring(answer.exitCode) + L") in "
                                       : L" did not come back in " + seconds + L" from ") +
                         when + L": F7 in the viewer would " + (answer.ended ? L"end" : L"hang") + L" the interpreter",
                     L"reinstall or update that printer's driver, or make another printer this user's default");
        return;
    }
    if (answer.stage != SpoolerStage::Finished) {
        // Nothing came back before the default printer was named: under Wine the spooler's
        // client (winspool.drv) loads the driver of every printer it has not met yet as it loads.
        section.Fail(answer.ended ? L"the print spooler's client ended the process that asked it (exit code " +
                                        std::to_wstring(answer.exitCode) + L")"
                                  : L"the print spooler's client (winspool.drv) did not come back in " + seconds +
                                        L" when asked for the default printer: the spooler, or a printer's driver "
                                        L"it loads, hangs",
                     L"restart the Print Spooler service; if it stays, make another printer the default or remove "
                     L"the printer added last, then check the default printer in Devices and Printers");
        return;
    }
    if (!(answer.ended && answer.exitCode == 0)) {
        // Everything was asked, and then the process could not end: a driver it loaded hangs (or
        // fails) in its clean-up, as it would when the interpreter closes.
        const std::wstring driver =
            facts->driver.empty() ? std::wstring(L"a printer's driver")
                                  : L"the driver " + Quoted(FromAnsi(facts->driver)) +
                                        (facts->driverFile.empty() ? L"" : L" (" + FromAnsi(facts->driverFile) + L")") +
                                        L" of default printer " + Quoted(FromAnsi(facts->name));
        section.Fail(driver + (answer.ended ? L" ended the process that loaded it with exit code " +
                                                  std::to_wstring(answer.exitCode) + L" as it closed"
                                            : L" did not let the process that loaded it end in " + seconds) +
                         L": the interpreter would " + (answer.ended ? L"fail" : L"hang") + L" when it closes",
                     L"reinstall or update that printer's driver, or make another printer this user's default");
        return;
    }
    if (!facts->spooler) {
        section.Warn(L"the print spooler's client (winspool.drv) is missing: F7 in the viewer will fail",
                     L"repair Windows' printing components (Turn Windows features on or off)");
        return;
    }
    if (facts->name.empty()) {
        section.Warn(L"no default printer: F7 in the viewer will fail with " + Quoted(kNoDefaultPrinterMessage.wide),
                     L"install a printer and make it this user's default printer");
        return;
    }
    const std::wstring name = Quoted(FromAnsi(facts->name));
    if (facts->describeError) {
        section.Warn(L"default printer " + name + L" cannot be opened: " + SystemError(facts->describeError),
                     L"check the printer in Devices and Printers; reinstall it if it stays unavailable");
    } else {
        std::wstring states;
        bool problem = false;
        for (const auto& s : kStatusFlags) {
            if (facts->status & s.flag) {
                states += (states.empty() ? L"" : L", ") + std::wstring(s.name);
                problem = problem || s.problem;
            }
        }
        const std::wstring fact = L"default printer " + name + L": driver " + Quoted(FromAnsi(facts->driver)) +
                                  L", port " + Quoted(FromAnsi(facts->port)) + L", " +
                                  (states.empty() ? std::wstring(L"ready") : states) + L", " +
                                  std::to_wstring(facts->jobs) + L" job(s) waiting";
        if (problem) {
            section.Warn(fact, L"see to the printer (paper, toner, power, cable); the spooler keeps F7's page until it is ready");
        } else {
            section.Ok(fact);
        }
    }
    if (facts->deviceContext) {
        section.Ok(L"F7 can draw on it: a page of " + std::to_wstring(facts->pageWidth) + L" x " +
                   std::to_wstring(facts->pageHeight) + L" printer pixels at " + std::to_wstring(facts->dpi) + L" dpi");
    } else {
        section.Warn(L"no printing device context can be made for " + name + L" (" +
                         SystemError(facts->deviceContextError) + L"): F7 in the viewer will fail",
                     L"reinstall the printer's driver");
    }
}

}  // namespace kavrel::diag
