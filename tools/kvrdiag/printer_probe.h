// The spooler's answers about the default printer, asked in a process of its own.
//
// Making a printer's device context loads its driver into the process that asks. A driver stuck
// in its DllMain then holds the loader lock for ever, and every later call that needs the loader
// (reading a file's version resource, a system message, loading a TWAIN manager) would wait
// behind it. So kvrdiag starts itself again with kAskSpoolerOption, the child asks the spooler
// and writes what it found, step by step, into a pipe; the report's own process never loads a
// printer driver, and a child that does not finish in time is ended.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>

namespace kavrel::diag {

struct PrinterFacts {
    bool spooler = false;  // winspool.drv and its functions are there
    std::string name;      // empty: no default printer
    DWORD describeError = 0;
    std::string driver;      // the driver's name
    std::string driverFile;  // its DLL, as the spooler names it (empty: not known)
    std::string port;
    DWORD status = 0;
    DWORD jobs = 0;
    bool deviceContext = false;
    DWORD deviceContextError = 0;
    int pageWidth = 0;
    int pageHeight = 0;
    int dpi = 0;
};

// How far the child got.
enum class SpoolerStage {
    NotStarted,     // kvrdiag could not start itself again (startError)
    AskingSpooler,   // the default printer, and its driver as installed
    OpeningPrinter,  // its driver, port and status (its driver may be loaded to read its settings)
    MakingDevice,    // its driver is being loaded for F7's device context
    Finished,
};

struct SpoolerAnswer {
    PrinterFacts facts;  // as far as the child got
    SpoolerStage stage = SpoolerStage::NotStarted;
    bool ended = false;  // the child ended by itself within the limit
    DWORD exitCode = 0;  // when it ended
    DWORD startError = 0;
};

// The hidden option that makes kvrdiag.exe the child.
extern const char kAskSpoolerOption[];

// The child's whole work: asks, writes the answer to standard output, and answers the exit code.
int AnswerSpoolerQuestions();

// Starts the child (`self`: kvrdiag.exe's path, found before any driver was loaded), waits at
// most `limit`, ends it when it has not finished, and reads what it wrote.
SpoolerAnswer AskSpoolerInOwnProcess(const std::wstring& self, std::chrono::milliseconds limit);

}  // namespace kavrel::diag
