// kvrdiag in the prefix without a TWAIN manager: TWAIN fails at the step that finds it missing,
// in the TWAIN section and in the scan, and the report still ends.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tools/kvrdiag_runner.h"

namespace kavrel::test {
namespace {

TEST(KvrdiagWithoutManager, TwainFailsAtItsStep) {
    const KvrdiagRun run = RunKvrdiag({"--sources", "--scan"});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 2);
    const auto failures = run.Lines(L"FAIL");
    ASSERT_EQ(failures.size(), 2u) << Ansi(run.report);
    EXPECT_EQ(failures[0].rfind(L"FAIL  TWAIN_IsAvailable = 0: no TWAIN manager", 0), 0u) << Ansi(failures[0]);
    EXPECT_NE(failures[0].find(L"В системе отсутствует TWAIN-устройство"), std::wstring::npos) << Ansi(failures[0]);
    // The scan is kvrscan's, with its answer and its message; there are no steps to take after it.
    EXPECT_EQ(failures[1].rfind(L"FAIL  kvrscan = 4 after ", 0), 0u) << Ansi(failures[1]);
    EXPECT_NE(failures[1].find(L"В системе отсутствует TWAIN-устройство"), std::wstring::npos) << Ansi(failures[1]);
    EXPECT_EQ(run.Lines(L"Result: ").size(), 1u) << Ansi(run.report);
    // The TWAIN section's steps after the missing manager send nothing: no failure is shown as theirs.
    for (const std::wstring& ok : run.Lines(L"OK")) EXPECT_EQ(ok.find(L"TWRC_FAILURE"), std::wstring::npos) << Ansi(ok);
}

}  // namespace
}  // namespace kavrel::test
