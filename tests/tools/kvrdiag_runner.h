// kvrdiag as IT runs it: a program of its own, in the test's Wine prefix, its report read from
// its standard output.
#pragma once

#include <string>
#include <vector>

namespace kavrel::test {

struct KvrdiagRun {
    bool ended = false;   // within the test's bound (it is ended otherwise)
    int exitCode = -1;
    std::wstring report;  // standard output, decoded from the console's code page (866 here)
    // The windows of kvrdiag's that the operator answered, in order: "select" (the manager's
    // source selection), "scanner" (the virtual scanner's own window), "box" (a message box).
    std::vector<std::string> windowsAnswered;
    std::vector<std::wstring> Lines(const wchar_t* tag) const;  // the report's lines beginning with `tag`
};

// What the operator at the workstation presses when kvrdiag --scan runs kvrscan: a button of the
// source selection (IDOK or IDCANCEL), then Scan in the scanner's window.
struct ScanOperator {
    int selectButton = 1;  // IDOK
};

// The copy of Kavrel.dll signed with the tests' throwaway certificate, "CN=Kavrel Test Signing,
// O=Kavrel test" (tests/release/sign_test_copies.sh), which kvrdiag.exe checks when no --dll
// names another.
std::string SignedKavrelDllPath();

// Runs kvrdiag.exe (a copy beside the signed Kavrel.dll) with `arguments`; `scannerSettings`, when given, is
// the virtual scanner's INI text for the run. `language` is given it as --lang before the arguments:
// English, as the tests read it, although the prefixes' interface language is Russian; null gives
// none, and kvrdiag speaks the user's language. Waits at most three minutes.
KvrdiagRun RunKvrdiag(const std::vector<std::string>& arguments, const std::string& scannerSettings = "",
                      ScanOperator scanOperator = {}, const char* language = "en");

}  // namespace kavrel::test
