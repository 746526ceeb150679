// kvrhost: runs Kavrel's script functions the way the script interpreter does.
//
//   kvrhost.exe [--module PATH] [--press ID]... [--when-shown CLASS COMMAND]... FUNCTION [ARGUMENT...]
//
// --press and --when-shown stand in for the operator, in the order given: --press ID presses
// the button with that control ID (1: OK, or the scanner's Scan) in the next window that has
// it; --when-shown CLASS COMMAND waits for a window of that class, runs the Linux COMMAND
// ({x} {y} {w} {h}: the window's rectangle, for a screenshot) and closes the window.
//
// Loads the module (Kavrel.dll beside kvrhost.exe unless --module says otherwise), hands it the
// host's callback table, lets it register its functions and calls FUNCTION with the arguments.
// Every message the module sends is printed as "message: ...", decoded from the OEM code page,
// and every integer it writes back as "argument N := V". Exit status: 0 when the module behaved,
// 3 when it misbehaved at the boundary (unknown slot, wrong type code, unbalanced stack),
// 2 when it could not be run at all.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tools/kvrhost/operator_robot.h"
#include "tools/kvrhost/script_host.h"

namespace {

void Write(const std::string& utf8) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()),
                &written, nullptr);
}

std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return {};
    const int wide = ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
    const int narrow = ::WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(narrow), '\0');
    ::WideCharToMultiByte(to, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
    return out;
}

std::string DefaultModulePath() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    const auto slash = p.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + "Kavrel.dll";
}

int Usage() {
    Write("usage: kvrhost.exe [--module PATH] [--press ID]... [--when-shown CLASS COMMAND]... FUNCTION [ARGUMENT...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // argv arrives in the ANSI code page, as the interpreter's own texts do.
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string modulePath = DefaultModulePath();
    std::vector<kavrel::hoststandin::RobotAction> operatorActions;
    while (!args.empty() && args[0].rfind("--", 0) == 0) {
        if (args[0] == "--module" && args.size() >= 2) {
            modulePath = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args[0] == "--press" && args.size() >= 2) {
            operatorActions.push_back({kavrel::hoststandin::RobotAction::PressButton, std::atoi(args[1].c_str()), {}, {}});
            args.erase(args.begin(), args.begin() + 2);
        } else if (args[0] == "--when-shown" && args.size() >= 3) {
            operatorActions.push_back({kavrel::hoststandin::RobotAction::RunWhenShown, 0, args[1], args[2]});
            args.erase(args.begin(), args.begin() + 3);
        } else {
            return Usage();
        }
    }
    if (args.empty()) return Usage();
    const std::string function = args.front();
    const std::vector<std::string> scriptArgs(args.begin() + 1, args.end());

    kavrel::hoststandin::ScriptHost host;
    if (!host.Load(modulePath)) {
        Write("kvrhost: " + Convert(host.LoadError(), CP_ACP, CP_UTF8) + "\n");
        return 2;
    }
    host.onMessage = [](const std::string& oem) {
        Write("message: " + Convert(oem, CP_OEMCP, CP_UTF8) + "\n");
    };
    host.onInteger = [](const kavrel::hoststandin::IntegerWritten& i) {
        Write("argument " + std::to_string(i.index) + " := " + std::to_string(i.value) + "\n");
    };
    host.Start();
    kavrel::hoststandin::OperatorRobot robot(operatorActions, ::GetCurrentThreadId());
    if (!host.Call(function, scriptArgs)) {
        Write("kvrhost: the module registered no function \"" + Convert(function, CP_ACP, CP_UTF8) + "\"\n");
        return 2;
    }
    host.Unload();
    for (const auto& f : host.faults) Write("kvrhost: boundary fault: " + f + "\n");
    return host.faults.empty() ? 0 : 3;
}
