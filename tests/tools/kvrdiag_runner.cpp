#include "tools/kvrdiag_runner.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "base/win_handles.h"
#include "support/test_support.h"
#include "support/window_driver.h"

namespace kavrel::test {

namespace {

constexpr DWORD kRunLimitMs = 180000;

// A copy beside the signed copy of the module (tests/release/sign_test_copies.sh).
std::string KvrdiagPath() { return WindowsPath(KAVREL_SIGNED_KVRDIAG_PATH); }

}  // namespace

std::string SignedKavrelDllPath() {
    const std::string kvrdiag = KvrdiagPath();
    return kvrdiag.substr(0, kvrdiag.find_last_of('\\')) + "\\Kavrel.dll";
}

std::vector<std::wstring> KvrdiagRun::Lines(const wchar_t* tag) const {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < report.size()) {
        std::size_t end = report.find(L"\r\n", start);
        if (end == std::wstring::npos) end = report.size();
        const std::wstring line = report.substr(start, end - start);
        if (line.rfind(tag, 0) == 0) lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

KvrdiagRun RunKvrdiag(const std::vector<std::string>& arguments, const std::string& scannerSettings,
                      ScanOperator scanOperator, const char* language) {
    KvrdiagRun run;
    ScratchDir scratch;
    const std::string ini = scratch / "virtual-scanner.ini";
    WriteBytes(ini, scannerSettings);
    // The child inherits the environment: the scanner it drives reads this INI.
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        ADD_FAILURE() << "no pipe (error " << ::GetLastError() << ")";
        return run;
    }
    KernelHandle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    std::string commandLine = WindowsArgument(KvrdiagPath());
    if (language) commandLine += std::string(" --lang ") + language;
    for (const auto& a : arguments) {
        commandLine += ' ';  // appended in steps: GCC 12 warns falsely on " " + WindowsArgument(a)
        commandLine += WindowsArgument(a);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
    if (!started) {
        ADD_FAILURE() << "cannot start " << commandLine << " (error " << ::GetLastError() << ")";
        return run;
    }
    KernelHandle child(process.hProcess), thread(process.hThread);
    writer.reset();  // the pipe ends when the child's copy closes
    std::vector<std::string> answered;  // written by the watcher's thread, read after it has stopped
    // Only a scan opens windows; the other runs are left without anyone looking at the process.
    const bool scans = std::find(arguments.begin(), arguments.end(), "--scan") != arguments.end();
    auto watcher = !scans ? nullptr : std::make_unique<WindowWatcher>(
        [&answered, scanOperator](const SeenWindow& w) {
            if (w.className == "#32770" && ::FindWindowExA(w.window, nullptr, "ListBox", nullptr)) {
                answered.push_back("select");
                return scanOperator.selectButton;
            }
            if (w.className == "KavrelVirtualScanner") {
                answered.push_back("scanner");
                ::PostMessageA(w.window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);  // Scan
                return 1;
            }
            if (w.className == "#32770") {
                // A box of the library's or the module's, read and closed as the operator would.
                answered.push_back("box");
                return PressFirstButton(w);
            }
            return 0;
        },
        kRunLimitMs + 60000, WindowWatcher::OfProcess{process.dwProcessId});

    std::string bytes;
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            std::string chunk(available, '\0');
            DWORD read = 0;
            if (::ReadFile(reader.get(), chunk.data(), available, &read, nullptr)) bytes.append(chunk, 0, read);
            continue;
        }
        if (::WaitForSingleObject(child.get(), 20) == WAIT_OBJECT_0) {
            run.ended = true;
            break;
        }
        if (::GetTickCount() - start > kRunLimitMs) {
            ADD_FAILURE() << "kvrdiag did not end in " << kRunLimitMs / 1000 << " s";
            ::TerminateProcess(child.get(), 124);
            break;
        }
    }
    // What the child wrote just before it ended.
    DWORD available = 0;
    while (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!::ReadFile(reader.get(), chunk.data(), available, &read, nullptr) || read == 0) break;
        bytes.append(chunk, 0, read);
    }
    watcher.reset();
    run.windowsAnswered = answered;
    DWORD code = 0;
    ::GetExitCodeProcess(child.get(), &code);
    run.exitCode = static_cast<int>(code);
    run.report = FromOem(bytes);
    return run;
}

}  // namespace kavrel::test
