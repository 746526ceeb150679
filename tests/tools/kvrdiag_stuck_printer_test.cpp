// kvrdiag where the default printer's driver hangs in its DllMain (the prefix's stand-in takes
// the place of Wine's PostScript driver): the report still ends, says where it hangs, and the
// sections that need the loader after it are whole or plainly not checked.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/test_support.h"
#include "tools/kvrdiag_runner.h"

namespace kavrel::test {
namespace {

// The test queue as Wine's spooler keeps it once it has met it in CUPS.
constexpr char kPrinterKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\KavrelPDF";

// Runs kvrdiag with Wine's own printer driver in place of the stand-in.
KvrdiagRun RunWithWorkingDriver() {
    char overrides[512] = {};
    ::GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    ::SetEnvironmentVariableA("WINEDLLOVERRIDES", "winedbg.exe=d");
    KvrdiagRun run = RunKvrdiag({"--timeout", "10"});
    ::SetEnvironmentVariableA("WINEDLLOVERRIDES", overrides);
    return run;
}

TEST(KvrdiagWithStuckPrinterDriver, APrinterFoundAnewWhileTheModuleLoadsIsReported) {
    // Wine's spooler client adds a printer it has not met yet while it loads, with Kavrel.dll,
    // and loads the printer's driver there.
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPrinterKey);
    const KvrdiagRun run = RunKvrdiag({"--timeout", "10", "--scan"});
    ASSERT_TRUE(run.ended) << Ansi(run.report);
    EXPECT_EQ(run.exitCode, 2) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"FAIL  it did not finish loading in 10 s").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"FAIL  not checked: Kavrel.dll did not finish loading").size(), 2u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"OK    ANSI code page 1251").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"Result: ").size(), 1u) << Ansi(run.report);
}

TEST(KvrdiagWithStuckPrinterDriver, ADriverStuckInF7sDeviceContextIsNamed) {
    // The printer as a workstation has it: installed while its driver still worked.
    ASSERT_TRUE(RunWithWorkingDriver().ended);
    const KvrdiagRun run = RunKvrdiag({"--timeout", "10"});
    ASSERT_TRUE(run.ended) << Ansi(run.report);
    EXPECT_EQ(run.exitCode, 2) << Ansi(run.report);
    const auto failures = run.Lines(L"FAIL");
    ASSERT_EQ(failures.size(), 1u) << Ansi(run.report);
    EXPECT_NE(failures[0].find(L"wineps.drv) of default printer \"KavrelPDF\" did not come back in 10 s"),
              std::wstring::npos)
        << Ansi(failures[0]);
    // The TWAIN section, which needs the loader, comes after the hang and is whole.
    EXPECT_EQ(run.Lines(L"OK    source 1: \"Kavrel Virtual Scanner\"").size(), 1u) << Ansi(run.report);
}

}  // namespace
}  // namespace kavrel::test
