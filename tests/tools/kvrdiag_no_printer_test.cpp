// kvrdiag in the prefix that reaches no printer: printing is the one warning, and it says what
// F7 will do.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tools/kvrdiag_runner.h"

namespace kavrel::test {
namespace {

TEST(KvrdiagWithoutPrinter, PrintingWarnsAndNothingElse) {
    const KvrdiagRun run = RunKvrdiag({});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 1) << Ansi(run.report);
    const auto warnings = run.Lines(L"WARN");
    ASSERT_EQ(warnings.size(), 1u) << Ansi(run.report);
    EXPECT_EQ(warnings[0].rfind(L"WARN  no default printer: F7 in the viewer will fail", 0), 0u) << Ansi(warnings[0]);
    EXPECT_TRUE(run.Lines(L"FAIL").empty()) << Ansi(run.report);
}

}  // namespace
}  // namespace kavrel::test
