// What finding one client's signatures in a directory of every client's costs, against the bare
// full enumeration a walk that looks at every entry pays. The directory (made from the Linux side
// by scripts/benchmark.sh: 100,000 entries) is first listed once to find the client whose files
// come first in the listing and the one whose files come last; then, alternating, it times a bare
// FindFirstFileA("*.*") enumeration, kvrprov called by the script host stand-in through
// Kavrel.dll, and the viewer's file list (TTF::BuildFileList), each for the first client, the
// last and one who is absent, and prints the ratios of the medians. Not a test: it asserts
// nothing, but a walk that gives a wrong answer is reported and ends the run, since its time
// would mean nothing.
//   directory_walk_benchmark DIRECTORY
#include <windows.h>

#include "bench/bench_paths.h"
#include "bench/bench_table.h"
#include "bench/bench_timing.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "tools/kvrhost/script_host.h"
#include "viewer/tableform.h"

namespace {

using kavrel::bench::Median;
using kavrel::bench::Seconds;

struct Listing {
    std::size_t entries = 0;
    std::string first;
    std::string last;
};

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// The bare walk: every entry fetched and looked at (its name compared, as any walk must). The
// first and the last client are those of account-number keys.
Listing ListEverything(const std::string& directory) {
    Listing listing;
    WIN32_FIND_DATAA entry;
    kavrel::FindHandle find(::FindFirstFileA((directory + "\\*.*").c_str(), &entry));
    if (!find) return listing;
    do {
        if (IsDotEntry(entry.cFileName)) continue;
        ++listing.entries;
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9') continue;
        if (listing.first.empty()) listing.first = entry.cFileName;
        listing.last = entry.cFileName;
    } while (::FindNextFileA(find.get(), &entry));
    return listing;
}

// A fixture name is the client's key, "_", a number and an extension.
std::string KeyOf(const std::string& name) {
    return name.substr(0, name.find('_'));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: directory_walk_benchmark DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[1];
    const Listing listing = ListEverything(directory);
    if (listing.entries == 0) {
        std::fprintf(stderr, "directory_walk_benchmark: %s lists nothing\n", directory.c_str());
        return 1;
    }
    struct Client {
        const char* where;
        std::string key;
        bool present;
        double goal;  // against the bare enumeration; 0: none
    };
    // Account numbers, the usual keys, and one key that begins with a letter (scripts/benchmark.sh
    // puts its files in the directory): kvrprov compares keys in any letter case, so its pattern
    // cannot hold a letter, which a case-sensitive directory would compare exactly -- it lists
    // every entry, and its cost is the full walk's. The viewer's exact key keeps its letters.
    constexpr int kClients = 4;
    const Client clients[kClients] = {
        {"first", KeyOf(listing.first), true, 0.12},
        {"last", KeyOf(listing.last), true, 0.12},
        {"absent", "40817810999999999999", false, 0.12},
        {"letter", "Ivanov", true, 0},
    };

    kavrel::hoststandin::ScriptHost host;
    if (!host.Load(kavrel::bench::KavrelDllBesideThisProgram()) || !host.Start()) {
        std::fprintf(stderr, "directory_walk_benchmark: Kavrel.dll: %s\n", host.LoadError().c_str());
        return 1;
    }
    kavrel::viewer::TTF form;
    form.SignatureDir = directory;
    form.FileList = std::make_unique<std::vector<std::string>>();

    // Each walk once, its answer checked.
    const auto kvrprov = [&](const Client& client) {
        host.ClearRecords();
        return host.Call("kvrprov", {"", directory, client.key}) && host.integers.size() == 1 &&
               host.integers[0].value == (client.present ? 0 : 1);
    };
    const auto viewerList = [&](const Client& client) {
        form.ClientKey = client.key;
        form.BuildFileList();
        return form.FileList->empty() != client.present;
    };

    constexpr int kRounds = 5;
    std::vector<double> bare;
    std::vector<double> provTimes[kClients], listTimes[kClients];
    for (int round = 0; round < kRounds; ++round) {
        double t = Seconds();
        const Listing again = ListEverything(directory);
        bare.push_back(Seconds() - t);
        if (again.entries != listing.entries) {
            std::fprintf(stderr, "directory_walk_benchmark: the directory changed during the run\n");
            return 1;
        }
        for (int c = 0; c < kClients; ++c) {
            t = Seconds();
            const bool provRight = kvrprov(clients[c]);
            provTimes[c].push_back(Seconds() - t);
            t = Seconds();
            const bool listRight = viewerList(clients[c]);
            listTimes[c].push_back(Seconds() - t);
            if (!provRight || !listRight) {
                std::fprintf(stderr, "directory_walk_benchmark: a wrong answer for the %s client (%s): %s\n",
                             clients[c].where, clients[c].key.c_str(), provRight ? "viewer list" : "kvrprov");
                return 1;
            }
        }
    }
    form.FileList.reset();

    const double b = Median(bare);
    std::printf("finding one client's files among %zu entries against a bare FindFirstFileA(\"*.*\") "
                "enumeration of them all, medians of %d:\n",
                listing.entries, kRounds);
    std::printf("  bare enumeration %8.1f ms\n", b * 1000);
    for (int c = 0; c < kClients; ++c) {
        const double p = Median(provTimes[c]), l = Median(listTimes[c]);
        std::printf("  client %-6s %-22s kvrprov %7.1f ms (%.3f)   viewer list %7.1f ms (%.3f)\n", clients[c].where,
                    clients[c].key.c_str(), p * 1000, p / b, l * 1000, l / b);
    }
    std::fflush(stdout);
    for (int c = 0; c < kClients; ++c) {
        kavrel::bench::TimeRow(std::string("kvrprov, client ") + clients[c].where + " of " +
                                   std::to_string(listing.entries) + " entries",
                               Median(provTimes[c]), b, clients[c].goal);
    }
    for (int c = 0; c < kClients; ++c) {
        kavrel::bench::TimeRow(std::string("viewer's file list, client ") + clients[c].where, Median(listTimes[c]),
                               b, clients[c].goal);
    }
    host.Unload();
    return 0;
}
