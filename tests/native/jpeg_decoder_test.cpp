// Which JPEG files the viewer's decoder takes: files from other programs and cameras with
// warnings that leave every row intact are shown; files whose rows cannot all be decoded are not.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/jpeg/jpeg_decoder.h"
#include "support/jpeg_inspect.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A JPEG of `width` x `height` pixels of a colour gradient (libjpeg's defaults, JFIF 1.01):
// baseline, or progressive (several scans).
Bytes Encode(int width, int height, bool progressive = false) {
    Bytes rgb(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            pixel[0] = static_cast<std::uint8_t>(x * 255 / width);
            pixel[1] = static_cast<std::uint8_t>(y * 255 / height);
            pixel[2] = 90;
        }
    }
    return kavrel::test::EncodeJpeg(rgb, width, height, 90, progressive);
}

struct Outcome {
    bool accepted = false;
    int rowsWritten = 0;
    std::string error;
};

Outcome Decode(const Bytes& bytes) {
    Outcome outcome;
    kavrel::jpeg::JpegInfo info;
    if (!kavrel::jpeg::ReadJpegHeader(bytes.data(), bytes.size(), &info, &outcome.error)) return outcome;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(info.width) * 3 * static_cast<std::size_t>(info.height));
    outcome.accepted = kavrel::jpeg::DecodeJpeg(
        bytes.data(), bytes.size(), info,
        [&](int y) {
            ++outcome.rowsWritten;
            return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(info.width) * 3;
        },
        &outcome.error);
    return outcome;
}

TEST(JpegDecoder, WarningsThatLeaveEveryRowIntactAreAcceptedDamagedRowsAreNot) {
    const Bytes intact = Encode(64, 48);
    ASSERT_GT(intact.size(), 200u);
    ASSERT_EQ(intact[intact.size() - 2], 0xFF);
    ASSERT_EQ(intact[intact.size() - 1], 0xD9);  // EOI
    ASSERT_EQ(intact[11], 1);                     // JFIF major version, in the APP0 segment

    struct Row {
        const char* file;
        Bytes bytes;
        bool accepted;
    };
    Bytes jfif2 = intact;
    jfif2[11] = 2;  // "unknown JFIF revision number 2.01", as some cameras write
    Bytes noEnd(intact.begin(), intact.end() - 2);  // every row there, the end marker missing
    Bytes trailing = intact;
    trailing.insert(trailing.end() - 2, {0x12, 0x34, 0x56});  // bytes before the end marker
    // The middle of the rows' data: between the start-of-scan segment and the end marker.
    std::size_t scan = 2;
    while (scan + 4 < intact.size() && !(intact[scan] == 0xFF && intact[scan + 1] == 0xDA)) ++scan;
    ASSERT_LT(scan + 4, intact.size());
    scan += 2 + (intact[scan + 2] << 8 | intact[scan + 3]);
    const std::size_t middle = scan + (intact.size() - 2 - scan) / 2;
    Bytes truncated(intact.begin(), intact.begin() + static_cast<std::ptrdiff_t>(middle));
    Bytes corrupt = intact;
    corrupt[middle] = 0xFF;  // a marker (RST5) in the middle of the rows' data
    corrupt[middle + 1] = 0xD5;
    // A progressive file cut at the start of one of its later scans: every row decodes, but from
    // the scans before it only (blurred, or missing colour).
    const Bytes progressive = Encode(64, 48, true);
    std::size_t laterScan = 0;
    for (std::size_t i = 2, scans = 0; i + 1 < progressive.size(); ++i) {
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA && ++scans == 3) laterScan = i;
    }
    ASSERT_GT(laterScan, 0u);
    const Bytes cutAtAScan(progressive.begin(), progressive.begin() + static_cast<std::ptrdiff_t>(laterScan));
    const Row rows[] = {
        {"an intact file", intact, true},
        {"an intact progressive file", progressive, true},
        {"a progressive file cut before its third scan", cutAtAScan, false},
        {"JFIF revision 2.01", jfif2, true},
        {"no end marker after the last row", noEnd, true},
        {"stray bytes after the last row", trailing, true},
        {"cut off in the middle of the rows", truncated, false},
        {"rows overwritten with markers", corrupt, false},
    };
    for (const Row& row : rows) {
        const Outcome outcome = Decode(row.bytes);
        EXPECT_EQ(outcome.accepted, row.accepted) << row.file << ": " << outcome.error;
        if (row.accepted) {
            EXPECT_EQ(outcome.rowsWritten, 48) << row.file;
        }
    }
}

}  // namespace
