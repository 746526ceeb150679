// The report's sections: each checks one thing the signature functions need on a workstation and
// says what it found. Everything that reaches a driver runs on a BoundedWorker, or in a process of
// its own where a driver's DllMain could hold the loader lock (printing).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tools/kvrdiag/bounded_worker.h"
#include "tools/kvrdiag/report.h"
#include "tools/kvrdiag/twain_steps.h"
#include "tools/kvrhost/script_host.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {

// The Kavrel.dll under test, loaded through the host stand-in as the interpreter loads it.
struct ModuleUnderTest {
    hoststandin::ScriptHost host;
    bool started = false;                // loaded, given the host's table, functions registered
    bool hung = false;                   // its loading never came back: the loader lock is held
    std::optional<TwainExports> twain;   // every TWAIN export the checks use was found
};

// What the module's script function did in the call `host` made last (its answer: the integer it
// wrote into argument `answerIndex`).
void ReadScriptCall(const hoststandin::ScriptHost& host, int answerIndex, ScriptCallFacts* facts);

// 1. The module: its file, its version, that it loads (on `worker`, at most `limit`) and
// registers its three functions.
void CheckModule(BoundedWorker& worker, std::chrono::milliseconds limit, const std::string& path,
                 ModuleUnderTest* module, ReportSection& section);

// 2. Windows and the regional settings the module's texts depend on.
void CheckSystem(ReportSection& section);

// 3. The TWAIN manager in the Windows folder, whether it loads and opens through the module's
// TWAIN exports (null: the module did not load), the sources it lists and its default source.
// Answers the manager's path once it opened, and the sources it lists.
struct ManagerFound {
    std::string path;
    std::vector<twain::TW_IDENTITY> sources;
};
ManagerFound CheckTwain(TwainSteps* steps, ReportSection& section);

// 3, with --sources: each listed source opened in turn with its interface hidden (never enabled,
// nothing scanned), asked for its capabilities and closed again, through a connection of this
// program's own to the manager CheckTwain opened.
void ProbeSources(TwainSteps& steps, const ManagerFound& manager, ReportSection& section);

// A TW_STR32 of a manager's or source's, from the ANSI code page.
std::wstring IdentityText(const char (&field)[34]);

// 4. The default printer the viewer's F7 prints on, asked in a process of its own (printer_probe.h).
void CheckPrinting(const std::wstring& self, std::chrono::milliseconds limit, ReportSection& section);

// 5. The signature directory a script passes: there, listable, writable, room on its drive; with a
// client key, kvrprov's answer and the files the viewer would show. No signature file is opened
// for writing, renamed or deleted: the one file written is a temporary one of its own, deleted again.
void CheckDirectory(BoundedWorker& worker, std::chrono::milliseconds limit, const std::string& directory,
                    const std::optional<std::string>& clientKey, ModuleUnderTest* module, ReportSection& section);

// 6. One scan as a teller makes it: the module's kvrscan, called through the host as the
// interpreter calls it, saves into a temporary folder of this program's own (never the signature
// directory), and the file is read back and deleted unless `keep`. When it does not save, its
// steps one by one through the module's exports in TWAIN_AcquireNative's order, the source's
// window hidden, to tell where it fails (null steps: the module's TWAIN library is not there).
void CheckScan(TwainSteps* steps, ModuleUnderTest* module, bool keep, ReportSection& section);

// --twain-log FILE: named to the module's TWAIN library before its first step (it reads the name
// whenever it opens the manager), and reported after the scan: the file, and the lines this run
// wrote to it (none: a WARN).
class TwainLogOfRun {
public:
    explicit TwainLogOfRun(const std::string& file);  // empty: no log asked for
    void Report(ReportSection& section) const;

private:
    std::string path_;
    unsigned long long sizeBefore_ = 0;
};

}  // namespace kavrel::diag
