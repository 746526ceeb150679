// 5. The signature directory's report lines, from what directory_check.cpp found there. Each
// function words one finding; those answering bool say whether the check goes on after it.
// Plain C++ (tested natively).
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tools/kvrdiag/report.h"
#include "tools/kvrdiag/words.h"

namespace kavrel::diag {

// The longest full path Windows takes for a file (MAX_PATH less its terminator).
constexpr std::size_t kLongestPath = 259;
// The longest name a signature of an account takes: a Russian account number's 20 digits, the
// "_N" of a client's further signatures (the scripts name them key_1, key_2, ...; two digits
// leave room for 99) and ".jpg". kvrscan saves, and the viewer opens, a file only when its full
// path fits in kLongestPath characters; the trial file is made for a target of this length.
constexpr char kLongestAccountName[] = "kvrdiag-trial-000000_99.jpg";
constexpr std::size_t kLongestAccountNameLength = sizeof kLongestAccountName - 1;
// What the directory's full path may be for such a name to fit after it and its "\".
constexpr std::size_t kLongestDirectory = kLongestPath - 1 - kLongestAccountNameLength;
// A signature scan takes a few hundred kilobytes at most; below this, scans will soon fail.
constexpr unsigned long long kLowSpaceBytes = 10ull * 1024 * 1024;
// The viewer's first files that the report names.
constexpr std::size_t kFilesNamed = 20;

// What is at the directory's path.
struct DirectoryPresence {
    enum class Kind { Directory, File, DriveMissing, Missing, PathTooLong, Inaccessible } kind = Kind::Directory;
    std::wstring error;  // the system's words, when it could not be looked at
};

struct DirectoryListing {
    bool listed = false;
    std::wstring error;
    unsigned long long entries = 0;
    double seconds = 0;
};

// A temporary file made the way kvrscan saves a scan, for the longest account's name.
struct WriteTrial {
    std::size_t accountPathLength = 0;  // that file's full path; more than kLongestPath: it does not fit
    bool tooLong = false;               // its creation was refused as too long a name
    bool created = false;
    std::wstring createError;
    bool deleted = false;
    std::wstring deleteError;
    std::wstring file;
};

struct DriveSpace {
    bool known = false;
    std::wstring error;
    unsigned long long freeBytes = 0;
    unsigned long long totalBytes = 0;
};

// kvrprov's call for the client key: its answer in its argument 0, and it should send no message.
using KvrprovAnswer = ScriptCallFacts;

struct ViewerFile {
    std::wstring name;
    unsigned long long size = 0;
    std::wstring error;          // why its size could not be read; empty when it could
    std::size_t fullLength = 0;  // of its full path
};

struct ViewerListing {
    bool listed = false;
    std::vector<ViewerFile> files;  // one more than named, to know that there are more
};

// A step that did not come back within `limit`; the check ends there.
void ReportDirectoryHang(const std::wstring& what, std::chrono::milliseconds limit, ReportSection& section);
// `shown` is the directory as given, `drive` its "Z:" when it begins with a drive letter.
bool ReportPresence(const std::wstring& shown, const std::wstring& drive, const DirectoryPresence& presence,
                    ReportSection& section);
bool ReportListing(const DirectoryListing& listing, ReportSection& section);
void ReportWriteTrial(const WriteTrial& trial, ReportSection& section);
void ReportSpace(const DriveSpace& space, ReportSection& section);
// With a client key (`key` as the script passes it): kvrprov not asked because the module did
// not load, or its answer (true: it finds signatures on file).
void ReportKvrprovNotAsked(const std::wstring& key, ReportSection& section);
bool ReportKvrprov(const std::wstring& key, const KvrprovAnswer& answer, ReportSection& section);
// The files the viewer would list for the key (`provFound`: kvrprov found some).
void ReportViewerListing(const std::wstring& key, const ViewerListing& listing, bool provFound, ReportSection& section);

}  // namespace kavrel::diag
