// How much opening the viewer on a client's JPEG costs over decoding it. For an A4 page at
// 300 dpi, it times ShowImageAt (the file read, decoded into the picture Image1 shows, the window
// fitted around it) and a bare libjpeg decode of the same file into memory, and prints the ratio
// of the medians. Not a test: it asserts nothing.
#include <windows.h>

#include "bench/bench_jpeg.h"
#include "bench/bench_table.h"
#include "bench/bench_timing.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/toolkit/application.h"
#include "tools/virtual_scanner/test_pattern.h"
#include "viewer/tableform.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

using kavrel::bench::Median;
using kavrel::bench::Seconds;


void WritePageJpeg(const std::string& path, int width, int height) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    kavrel::bench::EncodeJpegFile(path, width, height, JCS_RGB, 90, false, [&](int y) {
        for (int x = 0; x < width; ++x) {
            const auto c = kavrel::vscan::PatternColour(x, y, width, height, 0);
            row[3 * x] = c.red, row[3 * x + 1] = c.green, row[3 * x + 2] = c.blue;
        }
        return row.data();
    });
}

// libjpeg alone: the file read and decoded to 24-bit rows in memory.
void BareDecode(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, in);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + static_cast<std::size_t>(cinfo.output_scanline) * cinfo.output_width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in);
}

}  // namespace

int main(int argc, char** argv) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    std::string dir = argc > 1 ? argv[1] : std::string(temp);
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    const std::string name = "page.jpg";
    WritePageJpeg(dir + "\\" + name, 2480, 3508);

    kavrel::ui::Application::Initialize();
    kavrel::viewer::TTF form;
    form.SignatureDir = dir;
    form.FileList = std::make_unique<std::vector<std::string>>(std::vector<std::string>{name});
    form.JpegImage = std::make_unique<kavrel::viewer::JpegImageObject>();
    form.CurrentIndex = 0;

    std::vector<double> open, bare;
    const auto showing = [&] {
        const double t = Seconds();
        form.ShowImageAt();
        open.push_back(Seconds() - t);
    };
    const auto decoding = [&] {
        const double t = Seconds();
        BareDecode(dir + "\\" + name);
        bare.push_back(Seconds() - t);
    };
    for (int i = 0; i < 10; ++i) {
        // Which goes first alternates: the second of a pair meets the caches as the first left them.
        if (i % 2 == 0) {
            showing(), decoding();
        } else {
            decoding(), showing();
        }
    }
    const double o = Median(open), b = Median(bare);
    std::printf("viewer ShowImageAt against a bare libjpeg decode of the same JPEG, medians:\n");
    std::printf("%-28s %5d x %-5d  ShowImageAt %8.1f ms   bare libjpeg %8.1f ms   ratio %.3f\n", "A4 page, 300 dpi",
                2480, 3508, o * 1000, b * 1000, o / b);
    std::fflush(stdout);
    kavrel::bench::TimeRow("viewer ShowImageAt, A4 300-dpi JPEG", o, b, 1.15);
    form.JpegImage.reset();
    form.FileList.reset();
    ::DeleteFileA((dir + "\\" + name).c_str());
    return 0;
}
