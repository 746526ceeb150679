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
    TextId name;
    bool problem;  // the printer will not print until someone sees to it
};

const StatusFlag kStatusFlags[] = {
    {PRINTER_STATUS_PAUSED, TextId::PrinterPaused, true},
    {PRINTER_STATUS_ERROR, TextId::PrinterError, true},
    {PRINTER_STATUS_PENDING_DELETION, TextId::PrinterPendingDeletion, true},
    {PRINTER_STATUS_PAPER_JAM, TextId::PrinterPaperJam, true},
    {PRINTER_STATUS_PAPER_OUT, TextId::PrinterPaperOut, true},
    {PRINTER_STATUS_MANUAL_FEED, TextId::PrinterManualFeed, true},
    {PRINTER_STATUS_PAPER_PROBLEM, TextId::PrinterPaperProblem, true},
    {PRINTER_STATUS_OFFLINE, TextId::PrinterOffline, true},
    {PRINTER_STATUS_IO_ACTIVE, TextId::PrinterIoActive, false},
    {PRINTER_STATUS_BUSY, TextId::PrinterBusy, false},
    {PRINTER_STATUS_PRINTING, TextId::PrinterPrinting, false},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, TextId::PrinterOutputBinFull, true},
    {PRINTER_STATUS_NOT_AVAILABLE, TextId::PrinterNotAvailable, true},
    {PRINTER_STATUS_WAITING, TextId::PrinterWaiting, false},
    {PRINTER_STATUS_PROCESSING, TextId::PrinterProcessing, false},
    {PRINTER_STATUS_INITIALIZING, TextId::PrinterInitializing, false},
    {PRINTER_STATUS_WARMING_UP, TextId::PrinterWarmingUp, false},
    {PRINTER_STATUS_TONER_LOW, TextId::PrinterTonerLow, false},
    {PRINTER_STATUS_NO_TONER, TextId::PrinterNoToner, true},
    {PRINTER_STATUS_PAGE_PUNT, TextId::PrinterPagePunt, true},
    {PRINTER_STATUS_USER_INTERVENTION, TextId::PrinterUserIntervention, true},
    {PRINTER_STATUS_OUT_OF_MEMORY, TextId::PrinterOutOfMemory, true},
    {PRINTER_STATUS_DOOR_OPEN, TextId::PrinterDoorOpen, true},
    {PRINTER_STATUS_SERVER_UNKNOWN, TextId::PrinterServerUnknown, true},
    {PRINTER_STATUS_POWER_SAVE, TextId::PrinterPowerSave, false},
};

}  // namespace

void CheckPrinting(const std::wstring& self, std::chrono::milliseconds limit, ReportSection& section) {
    const SpoolerAnswer answer = AskSpoolerInOwnProcess(self, limit);
    const PrinterFacts* facts = &answer.facts;
    const Language language = section.Lang();
    const std::wstring seconds = WholeSeconds(language, limit);
    const std::wstring printer = Quoted(FromAnsi(facts->name));
    const std::wstring driverFile = facts->driverFile.empty() ? L"" : L" (" + FromAnsi(facts->driverFile) + L")";
    const std::wstring otherPrinter = section.Say(TextId::ReinstallPrinterDriver);
    if (answer.stage == SpoolerStage::NotStarted) {
        section.Fail(section.Say(TextId::PrintingCheckNotStarted, {SystemError(language, answer.startError)}),
                     section.Say(TextId::RunAgainOrRestart));
        return;
    }
    const bool driverReached = answer.stage == SpoolerStage::OpeningPrinter || answer.stage == SpoolerStage::MakingDevice;
    if (driverReached && !(answer.ended && answer.exitCode == 0)) {
        // The printer's driver was being loaded (to read its settings, or for a device context):
        // F7 does both in the interpreter's process.
        const std::wstring driver =
            (facts->driver.empty() ? section.Say(TextId::ItsDriver)
                                   : section.Say(TextId::TheDriverNamed, {Quoted(FromAnsi(facts->driver))})) +
            driverFile;
        const std::wstring when = section.Say(answer.stage == SpoolerStage::OpeningPrinter ? TextId::OpeningPrinter
                                                                                            : TextId::MakingDeviceContext);
        section.Fail(answer.ended ? section.Say(TextId::PrinterDriverEnded,
                                                {driver, printer, std::to_wstring(answer.exitCode), when})
                                  : section.Say(TextId::PrinterDriverHung, {driver, printer, seconds, when}),
                     otherPrinter);
        return;
    }
    if (answer.stage != SpoolerStage::Finished) {
        // Nothing came back before the default printer was named: under Wine the spooler's
        // client (winspool.drv) loads the driver of every printer it has not met yet as it loads.
        section.Fail(answer.ended ? section.Say(TextId::SpoolerClientEnded, {std::to_wstring(answer.exitCode)})
                                  : section.Say(TextId::SpoolerClientHung, {seconds}),
                     section.Say(TextId::RestartSpooler));
        return;
    }
    if (!(answer.ended && answer.exitCode == 0)) {
        // Everything was asked, and then the process could not end: a driver it loaded hangs (or
        // fails) in its clean-up, as it would when the interpreter closes.
        const std::wstring driver =
            facts->driver.empty()
                ? section.Say(TextId::APrinterDriver)
                : section.Say(TextId::DriverOfDefaultPrinter, {Quoted(FromAnsi(facts->driver)), driverFile, printer});
        section.Fail(answer.ended ? section.Say(TextId::DriverEndedAtExit, {driver, std::to_wstring(answer.exitCode)})
                                  : section.Say(TextId::DriverHungAtExit, {driver, seconds}),
                     otherPrinter);
        return;
    }
    if (!facts->spooler) {
        section.Warn(section.Say(TextId::NoSpoolerClient), section.Say(TextId::NoSpoolerClientAction));
        return;
    }
    if (facts->name.empty()) {
        section.Warn(section.Say(TextId::NoDefaultPrinter, {Quoted(kNoDefaultPrinterMessage.wide)}),
                     section.Say(TextId::NoDefaultPrinterAction));
        return;
    }
    if (facts->describeError) {
        section.Warn(section.Say(TextId::PrinterNotOpened, {printer, SystemError(language, facts->describeError)}),
                     section.Say(TextId::PrinterNotOpenedAction));
    } else {
        std::wstring states;
        bool problem = false;
        for (const auto& s : kStatusFlags) {
            if (facts->status & s.flag) {
                states += (states.empty() ? L"" : L", ") + section.Say(s.name);
                problem = problem || s.problem;
            }
        }
        const std::wstring fact = section.Say(
            TextId::PrinterFacts, {printer, Quoted(FromAnsi(facts->driver)), Quoted(FromAnsi(facts->port)),
                                   states.empty() ? section.Say(TextId::PrinterReady) : states, std::to_wstring(facts->jobs)});
        if (problem) {
            section.Warn(fact, section.Say(TextId::PrinterProblemAction));
        } else {
            section.Ok(fact);
        }
    }
    if (facts->deviceContext) {
        section.Ok(section.Say(TextId::CanDraw, {std::to_wstring(facts->pageWidth), std::to_wstring(facts->pageHeight),
                                                 std::to_wstring(facts->dpi)}));
    } else {
        section.Warn(section.Say(TextId::NoDeviceContext, {printer, SystemError(language, facts->deviceContextError)}),
                     section.Say(TextId::NoDeviceContextAction));
    }
}

}  // namespace kavrel::diag
