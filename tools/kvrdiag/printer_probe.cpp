#include "tools/kvrdiag/printer_probe.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "base/win_handles.h"
#include "twain/export_binding.h"

namespace kavrel::diag {

const char kAskSpoolerOption[] = "--ask-spooler";

namespace {

// The spooler's functions, taken by name. Under Wine, winspool.drv loaded with a program at its
// start finds no CUPS printer, while loaded later (with Kavrel.dll, which imports it) it finds
// them; so this program imports nothing of it and sees the printers the module sees.
class Spooler {
public:
    Spooler() : module_(::LoadLibraryA("winspool.drv")) {
        if (!module_) return;
        twainlib::BindExport(module_.get(), "GetDefaultPrinterA", getDefaultPrinter_);
        twainlib::BindExport(module_.get(), "OpenPrinterA", openPrinter_);
        twainlib::BindExport(module_.get(), "GetPrinterA", getPrinter_);
        twainlib::BindExport(module_.get(), "GetPrinterDriverA", getPrinterDriver_);
        twainlib::BindExport(module_.get(), "ClosePrinter", closePrinter_);
    }
    bool Usable() const { return getDefaultPrinter_ && openPrinter_ && getPrinter_ && getPrinterDriver_ && closePrinter_; }

    // The default printer as the viewer's F7 finds it (GetDefaultPrinterA); empty: none.
    std::string DefaultPrinter() const {
        DWORD size = 0;
        getDefaultPrinter_(nullptr, &size);
        std::vector<char> name(size ? size : 1);
        if (!size || !getDefaultPrinter_(name.data(), &size)) return {};
        return name.data();
    }

    // Driver, its file, port, status and waiting jobs; the error when the printer cannot be read.
    DWORD Describe(PrinterFacts* facts) const {
        HANDLE raw = nullptr;
        std::string name = facts->name;
        if (!openPrinter_(name.data(), &raw, nullptr)) return ::GetLastError();
        const auto close = [this](HANDLE h) { closePrinter_(h); };
        const std::unique_ptr<void, decltype(close)> opened(raw, close);
        DWORD needed = 0;
        getPrinter_(raw, 2, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed ? needed : 1);
        if (!needed || !getPrinter_(raw, 2, buffer.data(), needed, &needed)) return ::GetLastError();
        const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
        if (info->pDriverName) facts->driver = info->pDriverName;
        facts->port = info->pPortName ? info->pPortName : "";
        facts->status = info->Status;
        facts->jobs = info->cJobs;
        // The driver's file only names it in the report: not knowing it is no fault of its own.
        needed = 0;
        getPrinterDriver_(raw, nullptr, 2, nullptr, 0, &needed);
        std::vector<BYTE> driver(needed ? needed : 1);
        if (needed && getPrinterDriver_(raw, nullptr, 2, driver.data(), needed, &needed)) {
            const auto* d = reinterpret_cast<const DRIVER_INFO_2A*>(driver.data());
            if (d->pDriverPath) facts->driverFile = d->pDriverPath;
        }
        return 0;
    }

private:
    Module module_;
    decltype(&::GetDefaultPrinterA) getDefaultPrinter_ = nullptr;
    decltype(&::OpenPrinterA) openPrinter_ = nullptr;
    decltype(&::GetPrinterA) getPrinter_ = nullptr;
    decltype(&::GetPrinterDriverA) getPrinterDriver_ = nullptr;
    decltype(&::ClosePrinter) closePrinter_ = nullptr;
};

// A registry value as text; empty when it is not there.
std::string RegistryText(const std::string& keyPath, const char* value) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
    char text[MAX_PATH] = {};
    DWORD size = sizeof text - 1, type = 0;
    const LONG read = ::RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    ::RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? std::string(text) : std::string();
}

// The driver of a printer installed on this workstation and its file, as the spooler keeps them
// in the registry: known without loading the driver, which opening the printer may do (to read
// its settings). Empty for a printer connected from a server.
void ReadInstalledDriver(PrinterFacts* facts) {
    if (facts->name.find('\\') != std::string::npos) return;
    facts->driver = RegistryText("System\\CurrentControlSet\\Control\\Print\\Printers\\" + facts->name, "Printer Driver");
    if (facts->driver.empty() || facts->driver.find('\\') != std::string::npos) return;
    facts->driverFile = RegistryText(
        "System\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3\\" +
            facts->driver,
        "Driver");
}

// The answer travels as "key=value" lines in the ANSI code page, both processes' own. Each line
// is written as soon as it is known: a child that never finishes has still said how far it got.
class AnswerWriter {
public:
    void Put(const char* key, const std::string& value) {
        std::string line = std::string(key) + "=";
        for (const char c : value) line += (c == '\r' || c == '\n') ? ' ' : c;
        line += "\n";
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    void Put(const char* key, unsigned long value) { Put(key, std::to_string(value)); }
};

// Reads the lines back; unknown keys are passed over (a newer child may say more).
void ReadAnswer(const std::string& text, SpoolerAnswer* answer) {
    PrinterFacts& f = answer->facts;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a line cut off by the child's end says nothing
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        const DWORD number = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        if (key == "stage") {
            answer->stage = value == "printer"    ? SpoolerStage::OpeningPrinter
                          : value == "device"   ? SpoolerStage::MakingDevice
                          : value == "finished" ? SpoolerStage::Finished
                                                : SpoolerStage::AskingSpooler;
        } else if (key == "spooler") {
            f.spooler = number != 0;
        } else if (key == "name") {
            f.name = value;
        } else if (key == "describe-error") {
            f.describeError = number;
        } else if (key == "driver" && !value.empty()) {
            f.driver = value;
        } else if (key == "driver-file" && !value.empty()) {
            f.driverFile = value;
        } else if (key == "port") {
            f.port = value;
        } else if (key == "status") {
            f.status = number;
        } else if (key == "jobs") {
            f.jobs = number;
        } else if (key == "device-error") {
            f.deviceContextError = number;
        } else if (key == "page-width") {
            f.deviceContext = true;
            f.pageWidth = static_cast<int>(number);
        } else if (key == "page-height") {
            f.pageHeight = static_cast<int>(number);
        } else if (key == "dpi") {
            f.dpi = static_cast<int>(number);
        }
    }
}

// Whatever is in the pipe now, without waiting: a driver may have handed the pipe on to a
// process of its own that keeps it open.
void ReadAvailable(HANDLE pipe, std::string* into) {
    DWORD available = 0;
    while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!::ReadFile(pipe, chunk.data(), available, &read, nullptr) || read == 0) return;
        into->append(chunk, 0, read);
    }
}

}  // namespace

int AnswerSpoolerQuestions() {
    AnswerWriter out;
    // Every road out ends with the stage that tells the parent the child came to its end.
    struct Finish {
        AnswerWriter& out;
        ~Finish() { out.Put("stage", "finished"); }
    } finish{out};
    out.Put("stage", "spooler");
    const Spooler spooler;
    out.Put("spooler", spooler.Usable() ? 1ul : 0ul);
    if (!spooler.Usable()) return 0;
    PrinterFacts facts;
    facts.name = spooler.DefaultPrinter();
    out.Put("name", facts.name);
    if (facts.name.empty()) return 0;
    ReadInstalledDriver(&facts);
    out.Put("driver", facts.driver);
    out.Put("driver-file", facts.driverFile);
    // Opening the printer and reading its settings may load its driver.
    out.Put("stage", "printer");
    facts.describeError = spooler.Describe(&facts);
    out.Put("describe-error", facts.describeError);
    out.Put("driver", facts.driver);
    out.Put("driver-file", facts.driverFile);
    out.Put("port", facts.port);
    out.Put("status", facts.status);
    out.Put("jobs", facts.jobs);
    // F7 draws into a device context of the printer: making one is as far as a check can go
    // without printing a page. It loads the driver.
    out.Put("stage", "device");
    const CreatedDc dc(::CreateDCA("WINSPOOL", facts.name.c_str(), nullptr, nullptr));
    if (dc) {
        out.Put("page-width", static_cast<unsigned long>(::GetDeviceCaps(dc.get(), HORZRES)));
        out.Put("page-height", static_cast<unsigned long>(::GetDeviceCaps(dc.get(), VERTRES)));
        out.Put("dpi", static_cast<unsigned long>(::GetDeviceCaps(dc.get(), LOGPIXELSX)));
    } else {
        out.Put("device-error", ::GetLastError());
    }
    return 0;
}

SpoolerAnswer AskSpoolerInOwnProcess(const std::wstring& self, std::chrono::milliseconds limit) {
    SpoolerAnswer answer;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (self.empty()) {
        // kvrdiag's own path could not be had in a form that starts it again (kvrdiag_main.cpp).
        answer.startError = ERROR_FILENAME_EXCED_RANGE;
        return answer;
    }
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 64 * 1024)) {
        answer.startError = ::GetLastError();
        return answer;
    }
    const KernelHandle reader(readEnd);
    KernelHandle writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = L"\"" + self + L"\" ";
    for (const char* c = kAskSpoolerOption; *c; ++c) commandLine += static_cast<wchar_t>(*c);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    PROCESS_INFORMATION process{};
    // The child is to inherit the pipe's write end alone. This process's own standard handles
    // may be inheritable (a pipe to whoever reads the report): a child left running would keep
    // that pipe open, and the reader would wait for its end.
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE own = ::GetStdHandle(which);
        if (own && own != INVALID_HANDLE_VALUE) ::SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
    }
    // The child lives in a job that ends it when this process's handle to the job closes, however
    // this process ends (ended from Task Manager, or by a remote tool's time limit). A process
    // that is already in a job of its own cannot be put in another before Windows 8: then the
    // child runs without one, and this process still ends it after the limit.
    const KernelHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    if (!::CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_SUSPENDED,
                          nullptr, nullptr, &startup, &process)) {
        answer.startError = ::GetLastError();
        return answer;
    }
    const KernelHandle child(process.hProcess), thread(process.hThread);
    if (job) ::AssignProcessToJobObject(job.get(), child.get());
    ::ResumeThread(thread.get());
    writer.reset();  // the child holds the only write end now

    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    answer.stage = SpoolerStage::AskingSpooler;
    for (;;) {
        ReadAvailable(reader.get(), &text);
        if (::WaitForSingleObject(child.get(), 20) == WAIT_OBJECT_0) {
            answer.ended = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::TerminateProcess(child.get(), ERROR_TIMEOUT);
            ::WaitForSingleObject(child.get(), 5000);
            break;
        }
    }
    ReadAvailable(reader.get(), &text);
    if (answer.ended) ::GetExitCodeProcess(child.get(), &answer.exitCode);
    ReadAnswer(text, &answer);
    return answer;
}

}  // namespace kavrel::diag
