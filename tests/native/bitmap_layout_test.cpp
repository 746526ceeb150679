// Bitmap layout in memory and in files: what a header may claim, and what is refused before any
// byte outside the buffer would be read.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "layout/bmp_layout.h"
#include "layout/byte_fields.h"
#include "layout/dib_layout.h"

namespace kavrel::layout {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A packed DIB with a 40-byte header (or `headerSize`), `colours` table entries and `pixelBytes`
// bytes of pixels.
Bytes Dib(std::int32_t width, std::int32_t height, std::uint16_t bits, std::uint32_t compression = 0,
          std::uint32_t clrUsed = 0, std::uint32_t sizeImage = 0, std::size_t tableBytes = 0,
          std::size_t pixelBytes = 0, std::uint32_t headerSize = 40) {
    Bytes b(headerSize + tableBytes + pixelBytes, 0);
    StoreField<std::uint32_t>(b.data(), headerSize);
    StoreField<std::int32_t>(b.data() + 4, width);
    StoreField<std::int32_t>(b.data() + 8, height);
    StoreField<std::uint16_t>(b.data() + 12, 1);
    StoreField<std::uint16_t>(b.data() + 14, bits);
    StoreField<std::uint32_t>(b.data() + 16, compression);
    StoreField<std::uint32_t>(b.data() + 20, sizeImage);
    StoreField<std::uint32_t>(b.data() + 32, clrUsed);
    return b;
}

// The same bytes with the 32-bit field at `at` claiming `value`.
Bytes Claiming(Bytes bytes, std::size_t at, std::uint32_t value) {
    StoreField<std::uint32_t>(bytes.data() + at, value);
    return bytes;
}

Bytes FileOf(const Bytes& dib, std::uint32_t offBits, std::uint32_t claimedSize = 0) {
    Bytes f(14, 0);
    f[0] = 'B';
    f[1] = 'M';
    StoreField<std::uint32_t>(f.data() + 2, claimedSize ? claimedSize : static_cast<std::uint32_t>(14 + dib.size()));
    StoreField<std::uint32_t>(f.data() + 10, offBits);
    f.insert(f.end(), dib.begin(), dib.end());
    return f;
}

TEST(RowBytes, RowsArePaddedToFourBytes) {
    EXPECT_EQ(DibRowBytes(1, 1), 4u);
    EXPECT_EQ(DibRowBytes(33, 1), 8u);
    EXPECT_EQ(DibRowBytes(3, 24), 12u);    // 9 bytes of pixels
    EXPECT_EQ(DibRowBytes(5, 4), 4u);
    EXPECT_EQ(DibRowBytes(7, 16), 16u);
    EXPECT_EQ(DibRowBytes(0, 24), 0u);
    EXPECT_EQ(DibRowBytes(-3, 24), 0u);
    // No overflow for the widest side a header can claim.
    EXPECT_EQ(DibRowBytes(0x7FFFFFFF, 32), 0x7FFFFFFFull * 4);
}

TEST(ColourCount, FromEitherHeader) {
    EXPECT_EQ(DibColorCount(Dib(1, 1, 8).data(), 40), 256);
    EXPECT_EQ(DibColorCount(Dib(1, 1, 8, 0, 17).data(), 40), 17);
    EXPECT_EQ(DibColorCount(Dib(1, 1, 24).data(), 40), 0);
    EXPECT_EQ(DibColorCount(Dib(1, 1, 24, 0, 300).data(), 40), 0) << "more than 256 is no table";
    EXPECT_EQ(DibColorCount(Dib(1, 1, 1).data(), 39), 0) << "a header cut short";
    Bytes core(12, 0);
    StoreField<std::uint32_t>(core.data(), 12);
    StoreField<std::uint16_t>(core.data() + 10, 4);
    EXPECT_EQ(DibColorCount(core.data(), 12), 16);
}

TEST(InspectDib, EverythingTheHeaderDescribesMustBeThere) {
    // 3 x 2 at 8 bits: 256 colours, two rows of 4 bytes.
    const Bytes ok = Dib(3, 2, 8, 0, 0, 0, 1024, 8);
    const auto layout = InspectDib(ok.data(), ok.size());
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->bitsOffset, 40u + 1024u);
    EXPECT_EQ(layout->pixelBytes, 8u);
    EXPECT_FALSE(InspectDib(ok.data(), ok.size() - 1)) << "one pixel byte missing";
    EXPECT_FALSE(InspectDib(ok.data(), 40 + 1023)) << "the colour table cut short";

    // Bit fields after a 40-byte header: three masks before the rows.
    const Bytes fields = Dib(2, 2, 16, kCompressionBitFields, 0, 0, 12, 8);
    ASSERT_TRUE(InspectDib(fields.data(), fields.size()));
    EXPECT_EQ(InspectDib(fields.data(), fields.size())->bitsOffset, 52u);
    EXPECT_FALSE(InspectDib(fields.data(), fields.size() - 1));

    // A top-down image is as tall as its height's magnitude.
    const Bytes topDown = Dib(1, -3, 32, 0, 0, 0, 0, 12);
    EXPECT_TRUE(InspectDib(topDown.data(), topDown.size()));
}

TEST(InspectDib, LyingAndUnusableHeadersAreRefused) {
    struct Case {
        const char* what;
        Bytes dib;
    };
    const Case cases[] = {
        {"zero width", Dib(0, 1, 24, 0, 0, 0, 0, 4)},
        {"negative width", Dib(-1, 1, 24, 0, 0, 0, 0, 4)},
        {"zero height", Dib(1, 0, 24)},
        {"the most negative height", Dib(1, INT32_MIN, 24, 0, 0, 0, 0, 4)},
        {"bit count 7", Dib(1, 1, 7, 0, 0, 0, 0, 4)},
        {"a header larger than the block", Claiming(Dib(1, 1, 24, 0, 0, 0, 0, 4), 0, 200)},
        {"a header smaller than 40 bytes", Claiming(Dib(1, 1, 24, 0, 0, 0, 0, 4), 0, 12)},
        {"a colour count whose table runs past the block", Dib(1, 1, 8, 0, 200, 0, 0, 4)},
        // GDI reads min(257, 256) entries though the count (above 256) gives no table at all.
        {"257 colours claimed at 8 bits, in 48 bytes", Dib(1, 1, 8, 0, 257, 0, 4, 4)},
        {"17 colours claimed at 4 bits, a table of 16 cut short", Dib(1, 1, 4, 0, 17, 0, 60, 4)},
        {"rows that would need 8 GB", Dib(0x7FFFFFFF, 0x7FFFFFFF, 32)},
        {"run-length data without a size", Dib(4, 2, 8, kCompressionRle8, 0, 0, 1024, 6)},
        {"run-length data larger than the block", Dib(4, 2, 8, kCompressionRle8, 0, 100, 1024, 6)},
        {"run-length rows stored top-down", Dib(4, -2, 8, kCompressionRle8, 0, 6, 1024, 6)},
        {"RLE4 on 8 bits", Dib(4, 2, 8, kCompressionRle4, 0, 6, 1024, 6)},
        {"bit fields on 24 bits", Dib(1, 1, 24, kCompressionBitFields, 0, 0, 12, 4)},
        {"JPEG inside", Dib(1, 1, 24, 4, 0, 10, 0, 10)},
    };
    for (const Case& c : cases) EXPECT_FALSE(InspectDib(c.dib.data(), c.dib.size())) << c.what;
    EXPECT_TRUE(InspectDib(Dib(1, 1, 8, 0, 257, 0, 1024, 4).data(), 40 + 1024 + 4)) << "the whole table there";
    EXPECT_FALSE(InspectDib(nullptr, 100));
    EXPECT_FALSE(InspectDib(Dib(1, 1, 24).data(), 39));
}

TEST(BmpFiles, TheFileHeaderAndTheDibItClaims) {
    const Bytes file = FileOf(Dib(2, 2, 24, 0, 0, 0, 0, 16), 54);
    const auto header = ReadBmpFileHeader(file.data(), file.size());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->fileSize, file.size());
    EXPECT_EQ(header->offBits, 54u);
    EXPECT_FALSE(ReadBmpFileHeader(file.data(), 13));
    Bytes notBm = file;
    notBm[1] = 'A';
    EXPECT_FALSE(ReadBmpFileHeader(notBm.data(), notBm.size()));

    EXPECT_EQ(BmpDibBytes(*header, file.size() - 14), file.size() - 14);
    EXPECT_FALSE(BmpDibBytes(*header, file.size() - 15)) << "the file is shorter than its header says";
    EXPECT_FALSE(BmpDibBytes({14 + 11, 0}, 100)) << "shorter than any bitmap header";
    EXPECT_FALSE(BmpDibBytes({0xFFFFFFFFu, 0}, 100));
}

TEST(BmpFiles, APackedDibIsMadeFromTheFile) {
    // Pixels straight after the header, as the offset says.
    const Bytes dib = Dib(2, 2, 24, 0, 0, 0, 0, 16);
    const auto same = PackedDibFromBmpFile(FileOf(dib, 54).data(), FileOf(dib, 54).size());
    ASSERT_TRUE(same);
    EXPECT_EQ(*same, dib);

    // Pixels 6 bytes further on, where the offset points: moved to where a packed DIB has them.
    Bytes gapped = Dib(2, 2, 24, 0, 0, 0, 0, 6 + 16);
    for (int i = 0; i < 16; ++i) gapped[40 + 6 + i] = static_cast<std::uint8_t>(i + 1);
    const Bytes gappedFile = FileOf(gapped, 54 + 6);
    const auto moved = PackedDibFromBmpFile(gappedFile.data(), gappedFile.size());
    ASSERT_TRUE(moved);
    ASSERT_EQ(moved->size(), 40u + 16u);
    EXPECT_EQ((*moved)[40], 1);
    EXPECT_EQ((*moved)[55], 16);

    // A table claimed longer than 256 colours: the 2^8 entries GDI reads are kept, and the pixels
    // are found where the offset says.
    Bytes overclaimed = Dib(2, 2, 8, 0, 300, 0, 300 * 4, 8);
    overclaimed[40] = 0x11;
    overclaimed[40 + 300 * 4] = 7;
    const Bytes overclaimedFile = FileOf(overclaimed, 14 + 40 + 300 * 4);
    const auto kept = PackedDibFromBmpFile(overclaimedFile.data(), overclaimedFile.size());
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->size(), 40u + 256u * 4u + 8u);
    EXPECT_EQ(LoadField<std::uint32_t>(kept->data() + 32), 0u);
    EXPECT_EQ((*kept)[40], 0x11);
    EXPECT_EQ((*kept)[40 + 256 * 4], 7);

    // An offset that points outside the file is not followed.
    const Bytes wild = FileOf(dib, 0x7FFFFFFF);
    ASSERT_TRUE(PackedDibFromBmpFile(wild.data(), wild.size()));
    EXPECT_EQ(*PackedDibFromBmpFile(wild.data(), wild.size()), dib);
}

TEST(BmpFiles, TheOldCoreHeaderBecomesAnInformationHeader) {
    // 2 x 1 at 1 bit: two three-byte colours, one row of 4 bytes.
    Bytes core(12 + 6 + 4, 0);
    StoreField<std::uint32_t>(core.data(), 12);
    StoreField<std::uint16_t>(core.data() + 4, 2);
    StoreField<std::uint16_t>(core.data() + 6, 1);
    StoreField<std::uint16_t>(core.data() + 8, 1);
    StoreField<std::uint16_t>(core.data() + 10, 1);
    const std::uint8_t colours[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(core.data() + 12, colours, 6);
    core[18] = 0x80;
    const Bytes file = FileOf(core, 14 + 18);
    const auto packed = PackedDibFromBmpFile(file.data(), file.size());
    ASSERT_TRUE(packed);
    ASSERT_EQ(packed->size(), 40u + 8u + 4u);
    EXPECT_EQ(LoadField<std::uint32_t>(packed->data()), 40u);
    EXPECT_EQ(LoadField<std::int32_t>(packed->data() + 4), 2);
    EXPECT_EQ(LoadField<std::uint16_t>(packed->data() + 14), 1);
    const std::uint8_t table[8] = {1, 2, 3, 0, 4, 5, 6, 0};
    EXPECT_EQ(std::memcmp(packed->data() + 40, table, 8), 0);
    EXPECT_EQ((*packed)[48], 0x80);

    // A core header whose colour table runs past the file.
    const Bytes cut = FileOf(Bytes(core.begin(), core.begin() + 15), 0);
    EXPECT_FALSE(PackedDibFromBmpFile(cut.data(), cut.size()));
}

TEST(BmpFiles, DamagedFilesAreNoDib) {
    EXPECT_FALSE(PackedDibFromBmpFile(nullptr, 0));
    const Bytes tooShort = FileOf(Bytes(11, 0), 0);
    EXPECT_FALSE(PackedDibFromBmpFile(tooShort.data(), tooShort.size()));
    const Bytes pixelsMissing = FileOf(Dib(2, 2, 24, 0, 0, 0, 0, 15), 54);
    EXPECT_FALSE(PackedDibFromBmpFile(pixelsMissing.data(), pixelsMissing.size()));
}

TEST(BmpPlan, TheFileWrittenFromADib) {
    const Bytes rgb = Dib(5, 2, 24, 0, 0, 0, 0, 32);
    const BmpPlan plan = PlanBmpFile(rgb.data(), rgb.size());
    ASSERT_EQ(plan.result, BmpPlanResult::Write);
    EXPECT_EQ(plan.sizeImage, 32u);
    EXPECT_EQ(plan.offBits, 54u);
    EXPECT_EQ(plan.fileSize, 86u);
    std::uint8_t header[kBmpFileHeaderSize];
    FillBmpFileHeader(plan, header);
    EXPECT_EQ(header[0], 'B');
    EXPECT_EQ(LoadField<std::uint32_t>(header + 2), 86u);
    EXPECT_EQ(LoadField<std::uint32_t>(header + 6), 0u);
    EXPECT_EQ(LoadField<std::uint32_t>(header + 10), 54u);

    EXPECT_EQ(PlanBmpFile(rgb.data(), rgb.size() - 1).result, BmpPlanResult::Refused)
        << "the rows run past the block";
    const Bytes rle = Dib(4, 2, 8, kCompressionRle8, 0, 0, 1024, 6);
    EXPECT_EQ(PlanBmpFile(rle.data(), rle.size()).result, BmpPlanResult::NothingToWrite);
    const Bytes topDown = Dib(5, -2, 24, 0, 0, 0, 0, 32);
    EXPECT_EQ(PlanBmpFile(topDown.data(), topDown.size()).result, BmpPlanResult::Refused);
    const Bytes v5 = Dib(5, 2, 24, 0, 0, 0, 0, 32, 124);
    EXPECT_EQ(PlanBmpFile(v5.data(), v5.size()).result, BmpPlanResult::Refused);
    const Bytes huge = Dib(0x7FFFFFFF, 0x7FFFFFFF, 32);
    EXPECT_EQ(PlanBmpFile(huge.data()).result, BmpPlanResult::Refused) << "more than 4 GB of file";
    // A 40-byte header with bit-field masks: the masks lie between the header and the pixels, so
    // they count in the offset and the size (a clipboard image of a 32-bit screen is such a DIB).
    const Bytes fields = Dib(3, 2, 32, kCompressionBitFields, 0, 24, 12, 24);  // its image size given, as it must be
    const BmpPlan withMasks = PlanBmpFile(fields.data(), fields.size());
    ASSERT_EQ(withMasks.result, BmpPlanResult::Write);
    EXPECT_EQ(withMasks.offBits, 54u + 12);
    EXPECT_EQ(withMasks.fileSize, 54u + 12 + 24);
    EXPECT_EQ(PlanBmpFile(fields.data(), fields.size() - 1).result, BmpPlanResult::Refused);
    // More than 256 colours claimed is no table in the DIB, though its block holds 300 entries: a
    // file with 300 would have its pixels elsewhere than the DIB is drawn from.
    const Bytes manyColours = Dib(5, 2, 24, 0, 300, 0, 1200, 32);
    EXPECT_EQ(PlanBmpFile(manyColours.data(), manyColours.size()).result, BmpPlanResult::Refused);
    // Bit-field rows are as long as their width says, whatever the image size claims; and what
    // cannot be drawn is not written.
    const Bytes shortClaim = Dib(4, 4, 16, kCompressionBitFields, 0, 8, 12, 32);
    EXPECT_EQ(PlanBmpFile(shortClaim.data(), shortClaim.size()).fileSize, 54u + 12 + 32);
    for (const Bytes& undrawable : {Dib(4, 0, 24, 0, 0, 0, 0, 16), Dib(-4, 2, 24, 0, 0, 0, 0, 32),
                                    Dib(2, 2, 64, 0, 0, 0, 0, 32), Dib(4, 2, 8, kCompressionBitFields, 0, 8, 12 + 1024, 8)}) {
        EXPECT_EQ(PlanBmpFile(undrawable.data(), undrawable.size()).result, BmpPlanResult::Refused);
    }
}
}  // namespace
}  // namespace kavrel::layout
