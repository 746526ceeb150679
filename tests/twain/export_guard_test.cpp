// The library's promise never to throw, checked where it matters: an allocation that fails inside
// an export comes back as the export's failure value instead of an exception crossing into the
// caller (which, through C frames, would end the host's process).
#include <gtest/gtest.h>

#include <string>

#include "support/address_space.h"
#include "support/dib_builder.h"
#include "support/kavrel_api.h"
#include "support/test_support.h"

namespace kavrel::test {
namespace {

TEST(ExportGuard, AnAllocationFailureInsideAnExportIsItsFailureValue) {
    KavrelApi kv(true);
    ASSERT_TRUE(kv.Loaded());
    BlockKeeper keeper;
    HGLOBAL dib = keeper.Keep(MakeDibBlock({4, 4, 24}));
    // A file name of 32 MB: the export's first step, copying it, needs another 32 MB, which the
    // process cannot have while the large regions are taken.
    constexpr std::size_t kNameBytes = 32u << 20;
    const std::string name(kNameBytes, 'n');
    int outOfMemory = 0;
    bool holds = false;
    {
        LargeAllocationsFail noLargeBlocks(kNameBytes);
        holds = noLargeBlocks.Holds();
        if (holds) outOfMemory = kv.TWAIN_WriteNativeToFilename(dib, name.c_str());
    }
    ASSERT_TRUE(holds) << "a large allocation still succeeded; the test proves nothing";
    EXPECT_EQ(outOfMemory, -4) << "the writers' failure value";

    // The library is none the worse for it.
    ScratchDir dir;
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, (dir / "afterwards.bmp").c_str()), 0);
}

}  // namespace
}  // namespace kavrel::test
