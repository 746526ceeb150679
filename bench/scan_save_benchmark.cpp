// How much kvrscan's road from a delivered DIB to the finished JPEG file costs over the JPEG
// encoding itself, in time and in memory. For an A4 page at 300 and at 600 dpi and a
// signature-sized scan it times the road (band by band through an off-screen picture in the
// screen's format, encoding, writing beside the old file and replacing it) and a bare libjpeg
// encode of the same pixels with the same settings into a file, alternating, and prints the ratio
// of the medians. Not a test: it asserts nothing.
//
// Memory: the process's peak working set during one road (or one bare encode) minus its working
// set just before, with the DIB already allocated and written. A peak cannot be reset, so each of
// these is measured in a fresh process of this program (--memory).
#include <windows.h>
#include <psapi.h>

#include "bench/bench_jpeg.h"
#include "bench/bench_paths.h"
#include "bench/bench_table.h"
#include "bench/bench_timing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "layout/dib_layout.h"
#include "module/signature_jpeg.h"
#include "tools/virtual_scanner/test_pattern.h"

namespace {

using kavrel::bench::Median;
using kavrel::bench::Seconds;

struct PageSize {
    const char* name;
    int width;
    int height;
    int rounds;
};

const PageSize kSizes[] = {
    {"A4 page, 300 dpi", 2480, 3508, 11},
    {"A4 page, 600 dpi", 4960, 7016, 5},
    {"signature", 1200, 500, 25},
};

// libjpeg alone: the DIB's 24-bit rows, bottom-up in memory, handed over top row first.
void BareEncode(HGLOBAL dib, const std::string& path) {
    auto* header = static_cast<BITMAPINFOHEADER*>(::GlobalLock(dib));
    const int width = header->biWidth, height = header->biHeight;
    const auto stride = static_cast<std::size_t>(kavrel::layout::DibRowBytes(width, 24));
    auto* rows = reinterpret_cast<std::uint8_t*>(header) + header->biSize;
    kavrel::bench::EncodeJpegFile(path, width, height, JCS_EXT_BGR, kavrel::script::kSignatureJpegQuality, true,
                                  [&](int y) { return rows + stride * (static_cast<std::size_t>(height) - 1 - y); });
    ::GlobalUnlock(dib);
}

HGLOBAL Page(int width, int height) {
    return kavrel::vscan::MakePatternDib(width, height, kavrel::vscan::PixelKind::Colour, 0);
}

SIZE_T WorkingSet(bool peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

// In a fresh process: the extra peak memory of one road or one bare encode, written to `report`.
int MeasureMemoryHere(bool road, int width, int height, const std::string& dir, const std::string& report) {
    const std::string file = dir + (road ? "\\memory-road.jpg" : "\\memory-bare.jpg");
    const auto run = [&](HGLOBAL dib) {
        if (road) {
            kavrel::script::SaveDibAsJpeg(dib, file);
        } else {
            BareEncode(dib, file);
        }
    };
    // What a process pays once, whatever the page (the display driver's first connection, the
    // code's pages), is paid on a tiny page first: in the host it was paid long before a scan.
    {
        kavrel::GlobalBlock tiny(Page(16, 16));
        run(tiny.get());
    }
    kavrel::GlobalBlock dib(Page(width, height));
    if (!dib) return 1;
    const SIZE_T before = WorkingSet(false);
    run(dib.get());
    const SIZE_T peak = WorkingSet(true);
    ::DeleteFileA(file.c_str());
    FILE* out = std::fopen(report.c_str(), "w");
    if (!out) return 1;
    std::fprintf(out, "%lld\n", static_cast<long long>(peak) - static_cast<long long>(before));
    std::fclose(out);
    return 0;
}

// Runs this program again with --memory and reads what it reports; nothing when that failed. The
// figure can come out a little below zero under Wine, whose peak and current working sets are
// sampled apart: it then means the run added nothing measurable.
std::optional<long long> MeasureMemoryApart(bool road, const PageSize& size, const std::string& dir) {
    const std::string report = dir + "\\memory.txt";
    ::DeleteFileA(report.c_str());
    // Built piece by piece: GCC 12 warns falsely (-Wrestrict) about one long chain of "+".
    std::string line = "\"";
    line += kavrel::bench::ThisProgramPath();
    line += "\" --memory ";
    line += road ? "road " : "bare ";
    line += std::to_string(size.width) + " " + std::to_string(size.height);
    line += " \"" + dir + "\" \"" + report + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return std::nullopt;
    }
    kavrel::KernelHandle thread(process.hThread);
    kavrel::KernelHandle child(process.hProcess);
    if (::WaitForSingleObject(child.get(), 10 * 60 * 1000) != WAIT_OBJECT_0) {
        ::TerminateProcess(child.get(), 1);
        return std::nullopt;
    }
    std::optional<long long> extra;
    if (FILE* in = std::fopen(report.c_str(), "r")) {
        long long read = 0;
        if (std::fscanf(in, "%lld", &read) == 1) extra = read;
        std::fclose(in);
    }
    ::DeleteFileA(report.c_str());
    return extra;
}

// Where the road's time goes: each share's median over `rounds` saves that record their split
// (apart from the timed ones, whose clock is not read inside the road).
std::string SplitLine(int rounds, const std::function<void(kavrel::script::SaveSplit*)>& save) {
    using kavrel::script::SaveSplit;
    std::vector<SaveSplit> splits(static_cast<std::size_t>(rounds));
    for (SaveSplit& split : splits) save(&split);
    const auto ms = [&](double SaveSplit::*share) {
        std::vector<double> v;
        for (const SaveSplit& split : splits) v.push_back(split.*share);
        return Median(v) * 1000;
    };
    const SaveSplit& first = splits.front();
    char line[320];
    std::snprintf(line, sizeof line,
                  "  %s: checked %.2f, picture %.2f, drawn %.2f in %d bands, read %.2f, encoded %.2f, "
                  "file made %.2f, put in place %.2f ms\n",
                  first.direct ? "straight from the DIB" : "through the screen's format", ms(&SaveSplit::checking),
                  ms(&SaveSplit::picture), ms(&SaveSplit::drawing), first.bands, ms(&SaveSplit::reading),
                  ms(&SaveSplit::encoding), ms(&SaveSplit::opening), ms(&SaveSplit::committing));
    return line;
}

struct Measured {
    const char* name;
    double road, bare;
    std::optional<long long> roadMemory, bareMemory;
};

Measured Measure(const PageSize& size, const std::string& dir) {
    kavrel::GlobalBlock dib(Page(size.width, size.height));
    const std::string roadFile = dir + "\\road.jpg";
    const std::string bareFile = dir + "\\bare.jpg";
    std::vector<double> road, bare;
    const auto saving = [&] {
        const double t = Seconds();
        kavrel::script::SaveDibAsJpeg(dib.get(), roadFile);
        road.push_back(Seconds() - t);
    };
    const auto encoding = [&] {
        const double t = Seconds();
        BareEncode(dib.get(), bareFile);
        bare.push_back(Seconds() - t);
    };
    for (int i = 0; i < size.rounds; ++i) {
        // Alternating, so that both see the same state of the machine, and which goes first
        // alternating too: the second of a pair meets the caches as the first left them.
        if (i % 2 == 0) {
            saving(), encoding();
        } else {
            encoding(), saving();
        }
    }
    std::string splits;
    for (auto route : {kavrel::script::SaveRoute::Fastest, kavrel::script::SaveRoute::ThroughScreen}) {
        splits += SplitLine(size.rounds, [&](kavrel::script::SaveSplit* split) {
            kavrel::script::SaveDibAsJpeg(dib.get(), roadFile, route, split);
        });
    }
    ::DeleteFileA(roadFile.c_str());
    ::DeleteFileA(bareFile.c_str());
    dib.reset();
    const std::optional<long long> roadMemory = MeasureMemoryApart(true, size, dir);
    const std::optional<long long> bareMemory = MeasureMemoryApart(false, size, dir);
    const auto megabytes = [](const std::optional<long long>& bytes) {
        return bytes ? *bytes / 1048576.0 : std::numeric_limits<double>::quiet_NaN();  // printed "nan"
    };
    const double r = Median(road), b = Median(bare);
    std::printf("%-18s %5d x %-5d  %5d rows  %9.1f  %9.1f  %6.3f  %8.2f  %8.2f  %+7.2f\n", size.name, size.width,
                size.height, kavrel::script::SaveBandRows(size.width), r * 1000, b * 1000, r / b,
                megabytes(roadMemory), megabytes(bareMemory), megabytes(roadMemory) - megabytes(bareMemory));
    std::fputs(splits.c_str(), stdout);
    std::fflush(stdout);
    return {size.name, r, b, roadMemory, bareMemory};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "--memory") == 0) {
        return MeasureMemoryHere(std::strcmp(argv[2], "road") == 0, std::atoi(argv[3]), std::atoi(argv[4]), argv[5],
                                 argv[6]);
    }
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string dir = argc > 1 ? argv[1] : std::string(temp);
    std::printf("kvrscan save road against a bare libjpeg encode (quality 90, float DCT); times are medians,\n"
                "memory the peak working set during one run above the working set before it (DIB allocated):\n");
    std::printf("%-18s %-13s  %-9s  %9s  %9s  %6s  %8s  %8s  %7s\n", "page", "pixels", "band", "road ms",
                "bare ms", "ratio", "road MB", "bare MB", "diff MB");
    std::vector<Measured> rows;
    for (const PageSize& size : kSizes) rows.push_back(Measure(size, dir));
    for (const Measured& row : rows) {
        kavrel::bench::TimeRow(std::string("kvrscan save road, ") + row.name, row.road, row.bare, 1.10);
    }
    for (const Measured& row : rows) {
        const bool measured = row.roadMemory && row.bareMemory;
        kavrel::bench::TableRow(std::string("kvrscan save road memory, ") + row.name,
                                measured ? kavrel::bench::Format("%.2f MB", *row.roadMemory / 1048576.0) : "failed",
                                measured ? kavrel::bench::Format("%.2f MB", *row.bareMemory / 1048576.0) : "failed",
                                measured ? kavrel::bench::Format("%+.2f MB", (*row.roadMemory - *row.bareMemory) / 1048576.0)
                                         : "-",
                                "<= +2 MB");
    }
    return 0;
}
