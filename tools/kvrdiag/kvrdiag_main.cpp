// kvrdiag: tells a bank's IT what a workstation lacks for Kavrel's signature functions (its
// options and exit codes: --help).
//
// Loads Kavrel.dll through the host stand-in, as the interpreter loads it, and reports in
// sections: the module; Windows and the regional settings; TWAIN; printing; the signature
// directory (when given); one scan (--scan). Every line is OK, WARN or FAIL with the fact found,
// and WARN and FAIL lines say the first thing to do. It speaks Russian or English (texts.def), as
// --lang or the user's interface language says.
//
// It changes nothing on the workstation: no registry, no settings, no files but its own
// temporary ones, which it removes. Only the scanner chosen in --scan's selection dialog is
// remembered by the TWAIN manager as the default, as when a teller chooses it.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tools/kvrdiag/bounded_worker.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/file_facts.h"
#include "tools/kvrdiag/options.h"
#include "tools/kvrdiag/printer_probe.h"
#include "tools/kvrdiag/report.h"
#include "tools/kvrdiag/report_output.h"
#include "tools/kvrdiag/text.h"
#include "tools/kvrdiag/twain_steps.h"

namespace kavrel::diag {
namespace {

// kvrdiag.exe's own path, in a form that starts it again (CreateProcessW takes MAX_PATH - 1
// characters for the program): a longer one as its short form. Empty when there is none.
std::wstring ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    if (path.size() < MAX_PATH) return path;
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : std::wstring();
}

// The folder of `program`, with its closing backslash, in the ANSI code page the module's paths
// use; empty when it has no such form (then the module is not looked for in the current
// directory instead).
std::string FolderOf(const std::wstring& program) {
    const auto slash = program.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    const std::string folder = ToAnsiPath(program.substr(0, slash));
    return folder.empty() ? folder : folder + "\\";
}

std::vector<std::wstring> Heading(Language language, const std::string& dll) {
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerLength = sizeof computer;
    ::GetComputerNameA(computer, &computerLength);
    char user[256] = {};
    DWORD userLength = sizeof user;
    ::GetUserNameA(user, &userLength);
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t when[32];
    std::swprintf(when, sizeof when / sizeof when[0], L"%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute);
    return {Say(language, TextId::HeadingTitle), Say(language, TextId::HeadingWhoWhen, {FromAnsi(computer), FromAnsi(user), when}),
            Say(language, TextId::HeadingModule, {FromAnsi(dll)})};
}

int Run(const Options& options) {
    // Asked before any driver is loaded, like everything the report needs after a hang (under
    // Wine even a program's own file name is asked of the loader).
    const std::wstring self = ThisProgram();
    // Without --dll, the module beside kvrdiag.exe; none when kvrdiag's folder cannot be named
    // (section 1 says so).
    const std::string folder = FolderOf(self);
    const std::string dll = !options.dllPath.empty() ? FullPath(options.dllPath)
                            : folder.empty()          ? std::string()
                                                      : FullPath(folder + "Kavrel.dll");
    const std::chrono::milliseconds limit = options.stepLimit;
    const Language language = options.language;
    const std::vector<std::wstring> heading = Heading(language, dll);

    ReportSection module(language, Say(language, TextId::SectionModule));
    ReportSection system(language, Say(language, TextId::SectionSystem));
    ReportSection twain(language, Say(language, TextId::SectionTwain));
    ReportSection printing(language, Say(language, TextId::SectionPrinting));
    ReportSection directory(language, Say(language, TextId::SectionDirectory));
    ReportSection scan(language, Say(language, TextId::SectionScan));

    // The workers' threads are started before any driver is loaded (see BoundedWorker).
    BoundedWorker moduleWorker;
    BoundedWorker directoryWorker;
    BoundedWorker twainWorker;

    // Windows is looked at first: it asks the loader (the Wine version's export), which a
    // module stuck in its loading would keep locked.
    CheckSystem(system);
    const TwainLogOfRun twainLog(options.twainLog);
    // Lives until the process ends: a step that never came back may still refer to it.
    static ModuleUnderTest tested;
    CheckModule(moduleWorker, limit, dll, &tested, module);

    // Printing and the directory are looked at before any TWAIN driver is loaded: a driver
    // stuck in its DllMain holds the loader lock, and much of the spooler would wait for it.
    // The printer's own driver is loaded only in a child process (printer_probe.h).
    CheckPrinting(self, limit, printing);
    if (tested.hung) {
        // The loader is locked: reading a file's version, a system message or loading a TWAIN
        // manager would wait for ever. What needs the module is not checked.
        const auto notChecked = [](ReportSection& section) {
            section.Fail(section.Say(TextId::NotCheckedModuleHung), section.Say(TextId::SeeSection1));
        };
        notChecked(twain);
        if (options.directory) notChecked(directory);
        if (options.scan) notChecked(scan);
    } else {
        if (options.directory) {
            CheckDirectory(directoryWorker, limit, *options.directory, options.clientKey, &tested, directory);
        }
        std::optional<TwainSteps> steps;
        if (tested.twain) steps.emplace(twainWorker, *tested.twain, limit);
        const ManagerFound manager = CheckTwain(steps ? &*steps : nullptr, twain);
        if (options.sources && steps) ProbeSources(*steps, manager, twain);
        if (options.scan && directoryWorker.Stuck()) {
            // kvrprov never came back from the directory's file server: it is still inside the
            // host stand-in, which is no place for a second thread's kvrscan.
            scan.Fail(scan.Say(TextId::KvrscanNotRunDirectoryHangs), scan.Say(TextId::SeeToDirectoryFirst));
        } else if (options.scan) {
            CheckScan(steps ? &*steps : nullptr, &tested, options.keep, scan);
        }
        twainLog.Report(scan);
    }

    std::vector<ReportSection> sections = {module, system, twain, printing};
    if (options.directory) sections.push_back(directory);
    if (options.scan) sections.push_back(scan);
    const std::wstring text = RenderReport(language, heading, sections);
    int exitCode = ExitCodeOf(Count(sections));
    const bool stuck = moduleWorker.Stuck() || directoryWorker.Stuck() || twainWorker.Stuck();
    const bool shown = WriteToStandardOutput(text);
    bool filed = false;
    if (!options.outFile.empty()) {
        if (const DWORD error = WriteUtf8File(options.outFile, text)) {
            // The system's wording comes from its message resources, which a stuck driver's
            // DllMain may keep locked: then the number alone.
            // A report that did not reach its file is a failure of the run, as a FAIL line is.
            exitCode = std::max(exitCode, kExitFailures);
            const std::wstring why = stuck ? Say(language, TextId::SystemErrorNumber, {std::to_wstring(error)})
                                           : SystemError(language, error);
            WriteToStandardOutput(
                Say(language, TextId::ReportNotWritten, {FromAnsi(options.outFile), why, std::to_wstring(exitCode)}) +
                L"\r\n");
        } else {
            filed = true;
        }
    }
    // A report that reached no one (standard output a full disk or a closed pipe, and no file)
    // is a failure of the run too.
    if (!shown && !filed) exitCode = std::max(exitCode, kExitFailures);

    // The module is unloaded the way the interpreter unloads it (ModuleUnderTest's host), on its
    // worker: its imports' detach routines run then, a printer driver's among them.
    if (!stuck) moduleWorker.Ask({limit}, [] { tested.host.Unload(); return true; });
    // The process ends here without anyone's detach code. A thread may still be inside a driver
    // (a step that never came back), and ExitProcess would end it where it stands and then call
    // every DLL's detach routine under the loader lock, which that thread may hold. And a driver
    // loaded into this process (under Wine, loading the module has winspool.drv load a newly
    // found printer's driver) may never return from its detach at process exit. The report is
    // written (standard output and the file are unbuffered handles).
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
    return exitCode;
}

}  // namespace
}  // namespace kavrel::diag

int main(int argc, char** argv) {
    // A drive without a medium or a vanished network drive answers with an error, not a dialog.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Arguments arrive in the ANSI code page, as a script's texts reach the module.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // kvrdiag started by itself to ask the spooler (printer_probe.h); not for people.
    if (arguments.size() == 1 && arguments[0] == kavrel::diag::kAskSpoolerOption) {
        return kavrel::diag::AnswerSpoolerQuestions();
    }
    using kavrel::diag::Say;
    using kavrel::diag::TextId;
    std::wstring error;
    kavrel::diag::Language language{};
    const auto options = kavrel::diag::ParseOptions(arguments, kavrel::diag::UsersLanguage(), &error, &language);
    if (!options) {
        kavrel::diag::WriteToStandardOutput(L"kvrdiag: " + error + L"\r\n" + Say(language, TextId::Usage));
        return kavrel::diag::kExitCannotRun;
    }
    if (options->help) {
        kavrel::diag::WriteToStandardOutput(Say(language, TextId::Usage));
        return 0;
    }
    return kavrel::diag::Run(*options);
}
