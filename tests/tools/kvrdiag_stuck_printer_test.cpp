// kvrdiag where the default printer's driver hangs in its DllMain (a stand-in put in place of
// Wine's PostScript driver): the report still ends, says where it hangs, and the sections that
// need the loader after it are whole or plainly not checked.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/test_support.h"
#include "tools/kvrdiag_runner.h"

namespace kavrel::test {
namespace {

// The test queue as Wine's spooler keeps it once it has met it in CUPS.
constexpr char kPrinterKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\KavrelPDF";
// Wine's own choice between a native DLL and its built-in one, read by every new process.
constexpr char kOverridesKey[] = "Software\\Wine\\DllOverrides";

void LoadNativePrinterDriver(bool native) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kOverridesKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)) return;
    if (native) {
        ::RegSetValueExA(key, "wineps.drv", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
    } else {
        ::RegDeleteValueA(key, "wineps.drv");
    }
    ::RegCloseKey(key);
}

class KvrdiagWithStuckPrinterDriver : public ::testing::Test {
protected:
    // Wine's driver in its place, the printer known to the spooler, as on a workstation where
    // printing worked.
    void SetUp() override {
        char windows[MAX_PATH] = {};
        ::GetWindowsDirectoryA(windows, MAX_PATH);
        folder = windows;
        ASSERT_TRUE(::CopyFileA((folder + "\\kavrel\\wine-printer-driver.drv").c_str(), SpoolerCopy().c_str(), FALSE));
        ::DeleteFileA(SearchedCopy().c_str());
        LoadNativePrinterDriver(false);
        ASSERT_TRUE(RunKvrdiag({"--timeout", "10"}).ended);
    }
    void TearDown() override {
        LoadNativePrinterDriver(false);
        ::DeleteFileA(SearchedCopy().c_str());
        ::CopyFileA((folder + "\\kavrel\\wine-printer-driver.drv").c_str(), SpoolerCopy().c_str(), FALSE);
    }

    // The stand-in in both of the driver's places: the spooler's copy, and the one a device
    // context loads by name (taken before Wine's built-in one).
    void BreakTheDriver() {
        const std::string stuck = folder + "\\kavrel\\stuck-printer-driver.drv";
        ASSERT_TRUE(::CopyFileA(stuck.c_str(), SpoolerCopy().c_str(), FALSE));
        ASSERT_TRUE(::CopyFileA(stuck.c_str(), SearchedCopy().c_str(), FALSE));
        LoadNativePrinterDriver(true);
    }

    std::string SpoolerCopy() const { return folder + "\\system32\\spool\\drivers\\w32x86\\3\\wineps.drv"; }
    std::string SearchedCopy() const { return folder + "\\system32\\wineps.drv"; }
    std::string folder;
};

TEST_F(KvrdiagWithStuckPrinterDriver, AStuckDriverIsNamed) {
    BreakTheDriver();
    const KvrdiagRun run = RunKvrdiag({"--timeout", "10"});
    ASSERT_TRUE(run.ended) << Ansi(run.report);
    EXPECT_EQ(run.exitCode, 2) << Ansi(run.report);
    const auto failures = run.Lines(L"FAIL");
    ASSERT_EQ(failures.size(), 1u) << Ansi(run.report);
    EXPECT_EQ(failures[0].rfind(L"FAIL  the driver \"KavrelPDF\" (wineps.drv) of default printer \"KavrelPDF\" did "
                                L"not come back in 10 s", 0),
              0u)
        << Ansi(failures[0]);
    // The TWAIN section, which needs the loader, comes after the hang and is whole.
    EXPECT_EQ(run.Lines(L"OK    source 1: \"Kavrel Virtual Scanner\"").size(), 1u) << Ansi(run.report);
}

TEST_F(KvrdiagWithStuckPrinterDriver, APrinterFoundAnewWhileTheModuleLoadsIsReported) {
    // Wine's spooler client adds a printer it has not met yet while it loads, with Kavrel.dll,
    // and loads the printer's driver there.
    BreakTheDriver();
    ASSERT_EQ(::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPrinterKey), ERROR_SUCCESS);
    const KvrdiagRun run = RunKvrdiag({"--timeout", "10"});
    ASSERT_TRUE(run.ended) << Ansi(run.report);
    EXPECT_EQ(run.exitCode, 2) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"FAIL  it did not finish loading in 10 s").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"FAIL  not checked: Kavrel.dll did not finish loading").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"OK    ANSI code page 1251").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"Result: ").size(), 1u) << Ansi(run.report);
}

}  // namespace
}  // namespace kavrel::test
