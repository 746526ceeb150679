// kvrdiag's reading of a source's capability answers: what it offers in words, and for a broken
// container what is wrong with it, never a read outside the block.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "container_bytes.h"
#include "tools/kvrdiag/capability_text.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {
namespace {

using namespace twain;
using Bytes = std::vector<std::uint8_t>;

using test::Container;

// A TW_FIX32 in its 32 bits: Whole, then Frac.
std::uint32_t Fix(std::int16_t whole, std::uint16_t frac = 0) {
    return static_cast<std::uint16_t>(whole) | (static_cast<std::uint32_t>(frac) << 16);
}

TEST(CapabilityText, SoundAnswersInWordsBrokenOnesSayWhy) {
    const struct {
        const char* what;
        std::uint16_t cap;
        std::uint16_t conType;
        Bytes container;
        std::wstring values;
        std::wstring fault;
    } rows[] = {
        {"pixel types, an enumeration", ICAP_PIXELTYPE, TWON_ENUMERATION,
         Container().U16(TWTY_UINT16).U32(3).U32(2).U32(2).U16(0).U16(1).U16(2).bytes, L"BW, GRAY, RGB (current RGB)", L""},
        {"resolutions, a range of TW_FIX32", ICAP_XRESOLUTION, TWON_RANGE,
         Container().U16(TWTY_FIX32).U32(Fix(75)).U32(Fix(1200)).U32(Fix(0, 32768)).U32(Fix(300)).U32(Fix(200)).bytes,
         L"75 to 1200, step 0.5 (current 200)", L""},
        {"transfer count, one INT16 value", CAP_XFERCOUNT, TWON_ONEVALUE, Container().U16(TWTY_INT16).U32(0xFFFF).bytes,
         L"-1 (all pages)", L""},
        {"units, an array", ICAP_UNITS, TWON_ARRAY, Container().U16(TWTY_UINT16).U32(2).U16(0).U16(5).bytes,
         L"inches, pixels", L""},
        {"interface can be hidden, a boolean", CAP_UICONTROLLABLE, TWON_ONEVALUE, Container().U16(TWTY_BOOL).U32(1).bytes,
         L"yes", L""},
        {"more items claimed than the block holds", ICAP_PIXELTYPE, TWON_ENUMERATION,
         Container().U16(TWTY_UINT16).U32(1000).U32(0).U32(0).U16(0).U16(1).bytes, L"",
         L"the container claims 1000 items, its block holds 2"},
        {"current index past the list", ICAP_BITDEPTH, TWON_ENUMERATION,
         Container().U16(TWTY_UINT16).U32(2).U32(2).U32(0).U16(1).U16(8).bytes, L"", L"current index 2 of a list of 2"},
        {"items of a string type", ICAP_PIXELTYPE, TWON_ARRAY, Container().U16(TWTY_STR32).U32(0).bytes, L"",
         L"items of TWTY_STR32, not TWTY_UINT16"},
        {"an empty list", ICAP_UNITS, TWON_ARRAY, Container().U16(TWTY_UINT16).U32(0).bytes, L"", L"an empty list"},
        {"a range cut short", ICAP_XRESOLUTION, TWON_RANGE, Container().U16(TWTY_FIX32).U32(Fix(75)).bytes, L"",
         L"a range container of 6 bytes, shorter than its 22-byte header"},
        {"an enumeration cut short", ICAP_UNITS, TWON_ENUMERATION, Container().U16(TWTY_UINT16).U32(1).bytes, L"",
         L"a container of 6 bytes, shorter than its header"},
        {"no container type of the standard", ICAP_UNITS, 9, Container().U16(TWTY_UINT16).U32(1).bytes, L"",
         L"container type 9, none of the four the standard has"},
    };
    for (const auto& row : rows) {
        // Copied into a block of exactly its size, so that the sanitizers see any read past it.
        const auto block = std::make_unique<std::uint8_t[]>(row.container.size());
        std::memcpy(block.get(), row.container.data(), row.container.size());
        const CapabilityText text = DescribeCapability(Language::English, row.cap, row.conType, block.get(), row.container.size());
        EXPECT_EQ(text.values, row.values) << row.what;
        EXPECT_EQ(text.fault, row.fault) << row.what;
    }
    EXPECT_EQ(DescribeCapability(Language::English, ICAP_UNITS, TWON_ONEVALUE, nullptr, 0).fault, L"no container");
}

}  // namespace
}  // namespace kavrel::diag
