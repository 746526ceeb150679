// 4. Printing: the default printer the viewer's F7 prints on, found and opened the way F7 does.
#include <windows.h>

#include <memory>
#include <vector>

#include "base/win_handles.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

// The spooler's functions, taken by name. Under Wine, winspool.drv loaded with a program at its
// start finds no CUPS printer, while loaded later (with Kavrel.dll, which imports it) it finds
// them; so this program imports nothing of it and sees the printers the module sees.
class Spooler {
public:
    Spooler() : module_(::LoadLibraryA("winspool.drv")) {
        if (!module_) return;
        getDefaultPrinter_ = Bind<decltype(&::GetDefaultPrinterA)>("GetDefaultPrinterA");
        openPrinter_ = Bind<decltype(&::OpenPrinterA)>("OpenPrinterA");
        getPrinter_ = Bind<decltype(&::GetPrinterA)>("GetPrinterA");
        closePrinter_ = Bind<decltype(&::ClosePrinter)>("ClosePrinter");
    }
    bool Usable() const { return getDefaultPrinter_ && openPrinter_ && getPrinter_ && closePrinter_; }

    // The default printer as the viewer's F7 finds it (GetDefaultPrinterA); empty: none.
    std::string DefaultPrinter() const {
        DWORD size = 0;
        getDefaultPrinter_(nullptr, &size);
        std::vector<char> name(size ? size : 1);
        if (!size || !getDefaultPrinter_(name.data(), &size)) return {};
        return name.data();
    }

    // Driver, port, status and waiting jobs (PRINTER_INFO_2); the error when it cannot be read.
    DWORD Describe(const std::string& printer, std::string* driver, std::string* port, DWORD* status, DWORD* jobs) const {
        HANDLE raw = nullptr;
        std::string name = printer;
        if (!openPrinter_(name.data(), &raw, nullptr)) return ::GetLastError();
        const auto close = [this](HANDLE h) { closePrinter_(h); };
        const std::unique_ptr<void, decltype(close)> opened(raw, close);
        DWORD needed = 0;
        getPrinter_(raw, 2, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed ? needed : 1);
        if (!needed || !getPrinter_(raw, 2, buffer.data(), needed, &needed)) return ::GetLastError();
        const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
        *driver = info->pDriverName ? info->pDriverName : "";
        *port = info->pPortName ? info->pPortName : "";
        *status = info->Status;
        *jobs = info->cJobs;
        return 0;
    }

private:
    template <class Function>
    Function Bind(const char* name) {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    }

    Module module_;
    decltype(&::GetDefaultPrinterA) getDefaultPrinter_ = nullptr;
    decltype(&::OpenPrinterA) openPrinter_ = nullptr;
    decltype(&::GetPrinterA) getPrinter_ = nullptr;
    decltype(&::ClosePrinter) closePrinter_ = nullptr;
};

struct PrinterFacts {
    bool spooler = false;  // winspool.drv and its functions are there
    std::string name;      // empty: no default printer
    DWORD describeError = 0;
    std::string driver;
    std::string port;
    DWORD status = 0;
    DWORD jobs = 0;
    bool deviceContext = false;
    DWORD deviceContextError = 0;
    int pageWidth = 0;
    int pageHeight = 0;
    int dpi = 0;
};

PrinterFacts AskSpooler() {
    PrinterFacts facts;
    const Spooler spooler;
    facts.spooler = spooler.Usable();
    if (!facts.spooler) return facts;
    facts.name = spooler.DefaultPrinter();
    if (facts.name.empty()) return facts;
    facts.describeError = spooler.Describe(facts.name, &facts.driver, &facts.port, &facts.status, &facts.jobs);
    // F7 draws into a device context of the printer: making one is as far as a check can go
    // without printing a page.
    const CreatedDc dc(::CreateDCA("WINSPOOL", facts.name.c_str(), nullptr, nullptr));
    if (dc) {
        facts.deviceContext = true;
        facts.pageWidth = ::GetDeviceCaps(dc.get(), HORZRES);
        facts.pageHeight = ::GetDeviceCaps(dc.get(), VERTRES);
        facts.dpi = ::GetDeviceCaps(dc.get(), LOGPIXELSX);
    } else {
        facts.deviceContextError = ::GetLastError();
    }
    return facts;
}

struct StatusFlag {
    DWORD flag;
    const wchar_t* name;
    bool problem;  // the printer will not print until someone sees to it
};

// The viewer's message when F7 finds no default printer.
constexpr wchar_t kNoPrinterMessage[] = L"Печать невозможна: в системе не установлен принтер по умолчанию";

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

void CheckPrinting(BoundedWorker& worker, std::chrono::milliseconds limit, ReportSection& section) {
    const auto facts = Ask(worker, limit, [] { return AskSpooler(); });
    if (!facts) {
        section.Fail(L"the print spooler did not answer in " + std::to_wstring(limit.count() / 1000) +
                         L" s (default printer, its driver and status)",
                     L"restart the Print Spooler service, then check the default printer in Devices and Printers");
        return;
    }
    if (!facts->spooler) {
        section.Warn(L"the print spooler's client (winspool.drv) is missing: F7 in the viewer will fail",
                     L"repair Windows' printing components (Turn Windows features on or off)");
        return;
    }
    if (facts->name.empty()) {
        section.Warn(L"no default printer: F7 in the viewer will fail with " + Quoted(kNoPrinterMessage),
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
