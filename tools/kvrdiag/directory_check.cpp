// 5. The signature directory: there, listable, writable, room on its drive; with a client key,
// kvrprov's answer and the files the viewer would show. No signature file is opened for writing,
// renamed or deleted: the one file written is a temporary one of this check's own, deleted again.
#include <windows.h>

#include <algorithm>

#include "base/replacement_file.h"
#include "base/win_handles.h"
#include "host/signature_files.h"
#include "host/signature_rule.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

// A signature scan takes a few hundred kilobytes at most; below this, scans will soon fail.
constexpr unsigned long long kLowSpaceBytes = 10ull * 1024 * 1024;
// The viewer's first files that the report names.
constexpr std::size_t kFilesNamed = 20;
// The longest name a signature of an account takes: a Russian account number's 20 digits, the
// "_N" of a client's further signatures (the scripts name them key_1, key_2, ...; two digits
// leave room for 99) and ".jpg". kvrscan saves, and the viewer opens, a file only when its full
// path fits in MAX_PATH - 1 characters; the trial file is made for a target of this length.
constexpr char kLongestAccountName[] = "kvrdiag-trial-000000_99.jpg";
constexpr std::size_t kLongestAccountNameLength = sizeof kLongestAccountName - 1;
static_assert(kLongestAccountNameLength == 27);
constexpr std::size_t kLongestPath = MAX_PATH - 1;
// What the directory's full path may be for such a name to fit after it and its "\".
constexpr std::size_t kLongestDirectory = kLongestPath - 1 - kLongestAccountNameLength;

// The length of a path made full (the current directory of a drive-relative one joined in), or
// more than kLongestPath when it does not fit.
std::size_t FullLength(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 ? kLongestPath + 1 : length;
}

constexpr wchar_t kGiveAccess[] =
    L"give the operators' accounts the right to list, create, replace and delete files in this directory";

struct Presence {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD error = 0;
    bool driveMissing = false;  // a drive-letter path whose drive does not exist
};

Presence LookAt(const std::string& directory) {
    Presence p;
    p.attributes = ::GetFileAttributesA(directory.c_str());
    if (p.attributes == INVALID_FILE_ATTRIBUTES) {
        p.error = ::GetLastError();
        if (directory.size() >= 2 && directory[1] == ':') {
            const std::string root = directory.substr(0, 2) + "\\";
            p.driveMissing = ::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR;
        }
    }
    return p;
}

struct Listing {
    bool listed = false;
    DWORD error = 0;
    unsigned long long entries = 0;
    double seconds = 0;
};

Listing ListAll(const std::string& directory) {
    Listing l;
    const double start = Now();
    WIN32_FIND_DATAA entry{};
    FindHandle find(::FindFirstFileA(ListingPattern(directory).c_str(), &entry));
    if (!find) {
        l.error = ::GetLastError();
        // A drive's root with nothing in it lists nothing, successfully.
        l.listed = l.error == ERROR_FILE_NOT_FOUND;
    } else {
        l.listed = true;
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..") ++l.entries;
        } while (::FindNextFileA(find.get(), &entry));
    }
    l.seconds = Now() - start;
    return l;
}

struct WriteTrial {
    bool created = false;
    DWORD createError = 0;
    bool deleted = false;
    DWORD deleteError = 0;
    std::string file;
};

// kvrscan writes a scan as a new file beside its target and moves it into place: this check takes
// the same road (the module's ReplacementFile, the target joined by the module's rule, so that
// "Z:" is Z:'s current directory) for a target that is never a signature file, and leaves the
// new file uncommitted, which removes it again.
WriteTrial TryWriting(const std::string& directory) {
    WriteTrial t;
    {
        ReplacementFile trial(JoinPath(directory, kLongestAccountName));
        if (!trial.Created()) {
            t.createError = trial.Error();
            return t;
        }
        t.created = true;
        t.file = trial.Path();
    }
    const DWORD deleteError = ::GetLastError();  // the removal's, if it failed
    t.deleted = ::GetFileAttributesA(t.file.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (!t.deleted) t.deleteError = deleteError;
    return t;
}

struct Space {
    bool known = false;
    DWORD error = 0;
    unsigned long long freeBytes = 0;
    unsigned long long totalBytes = 0;
};

Space FreeSpace(const std::string& directory) {
    Space s;
    ULARGE_INTEGER available{}, total{};
    std::string path = directory;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    s.known = ::GetDiskFreeSpaceExA(path.c_str(), &available, &total, nullptr) != 0;
    if (!s.known) s.error = ::GetLastError();
    s.freeBytes = available.QuadPart;
    s.totalBytes = total.QuadPart;
    return s;
}

struct ProvAnswer {
    bool called = false;
    std::optional<int> result;  // what kvrprov wrote into its argument 0
    std::vector<std::string> messages;
    std::vector<std::string> faults;
};

ProvAnswer CallKvrprov(hoststandin::ScriptHost* host, const std::string& directory, const std::string& key) {
    ProvAnswer a;
    host->ClearRecords();
    a.called = host->Call("kvrprov", {"", directory, key});
    for (const auto& i : host->integers) {
        if (i.index == 0) a.result = i.value;
    }
    a.messages = host->messages;
    a.faults = host->faults;
    return a;
}

struct ViewerFile {
    std::string name;
    unsigned long long size = 0;
    DWORD error = 0;             // why its size could not be read; 0 when it could
    std::size_t fullLength = 0;  // of its full path
};

struct ViewerList {
    bool listed = false;
    std::vector<ViewerFile> files;  // one more than named, to know that there are more
};

ViewerList ListAsTheViewer(const std::string& directory, const std::string& key) {
    ViewerList v;
    const auto names = ListSignatureFiles(directory, key, KeyMode::ExactBytes, kFilesNamed + 1);
    if (!names) return v;
    v.listed = true;
    for (const auto& name : *names) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const std::string path = JoinPath(directory, name);
        ViewerFile f{name, 0, 0, FullLength(path)};
        if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
            f.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        } else {
            f.error = ::GetLastError();
        }
        v.files.push_back(f);
    }
    return v;
}

void DidNotAnswer(ReportSection& section, const wchar_t* what, std::chrono::milliseconds limit) {
    section.Fail(std::wstring(what) + L" did not come back in " + std::to_wstring(limit.count() / 1000) +
                     L" s: the drive or its file server does not answer",
                 L"check the network connection to the file server; kvrprov, kvrshow and kvrscan hang there too");
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME ||
           error == ERROR_NOT_READY;
}

}  // namespace

void CheckDirectory(BoundedWorker& worker, std::chrono::milliseconds limit, const std::string& directory,
                    const std::optional<std::string>& clientKey, ModuleUnderTest* module, ReportSection& section) {
    const std::wstring shown = FromAnsi(directory);
    const auto presence = Ask(worker, limit, [directory] { return LookAt(directory); });
    if (!presence) return DidNotAnswer(section, L"looking at the directory", limit);
    if (presence->attributes == INVALID_FILE_ATTRIBUTES) {
        const std::wstring consequences = L": kvrprov answers 2, kvrshow shows nothing, kvrscan answers 3 " +
                                          Quoted(kNoDirectoryMessage);
        if (presence->driveMissing) {
            section.Fail(L"drive " + FromAnsi(directory.substr(0, 2)) + L" of " + shown + L" does not exist" + consequences,
                         L"connect the network drive " + FromAnsi(directory.substr(0, 2)) +
                             L" for this user, or correct the directory the script passes");
        } else if (IsMissing(presence->error)) {
            section.Fail(shown + L" does not exist (" + SystemError(presence->error) + L")" + consequences,
                         L"create the directory, or correct the directory the script passes");
        } else if (presence->error == ERROR_FILENAME_EXCED_RANGE) {
            section.Fail(shown + L" cannot be examined: " + SystemError(presence->error) + consequences,
                         L"keep the signature directory's full path within " + std::to_wstring(MAX_PATH - 1) +
                             L" characters: move the directory or map a drive letter to it");
        } else {
            section.Fail(shown + L" cannot be examined: " + SystemError(presence->error) + consequences, kGiveAccess);
        }
        return;
    }
    if (!(presence->attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        section.Fail(shown + L" is a file, not a directory: kvrprov answers 2, kvrscan 3 " + Quoted(kNoDirectoryMessage),
                     L"pass the directory that holds the signatures, not a file in it");
        return;
    }
    section.Ok(shown + L" is a directory");

    const auto listing = Ask(worker, limit, [directory] { return ListAll(directory); });
    if (!listing) return DidNotAnswer(section, L"listing the directory", limit);
    if (!listing->listed) {
        section.Fail(L"it cannot be listed: " + SystemError(listing->error) +
                         L": kvrprov answers 2 and the viewer finds no signature",
                     kGiveAccess);
        return;
    }
    section.Ok(L"it lists " + std::to_wstring(listing->entries) + (listing->entries == 1 ? L" entry in " : L" entries in ") +
               Seconds(listing->seconds));

    const auto trial = Ask(worker, limit, [directory] { return TryWriting(directory); });
    if (!trial) return DidNotAnswer(section, L"creating a temporary file", limit);
    const std::size_t accountPath = FullLength(JoinPath(directory, kLongestAccountName));
    const std::wstring keepShort = L"keep the signature directory's full path within " + std::to_wstring(kLongestDirectory) +
                                   L" characters: move the directory or map a drive letter to it";
    if (accountPath > kLongestPath || (!trial->created && trial->createError == ERROR_FILENAME_EXCED_RANGE)) {
        section.Fail(L"it cannot be written for an account: a file named by a 20-digit account number and \"_99\" would have a path of " +
                         (accountPath > kLongestPath ? L"more than " + std::to_wstring(kLongestPath)
                                                     : std::to_wstring(accountPath)) +
                         L" characters, which Windows does not take: kvrscan cannot save an account's signature "
                         L"here, and the viewer cannot open such a file",
                     keepShort);
    } else if (!trial->created) {
        section.Fail(L"it cannot be written: a temporary file cannot be created (" + SystemError(trial->createError) +
                         L"): kvrscan answers 1 " + Quoted(kNotConnectedMessage) +
                         L" after every scan, and the viewer cannot delete",
                     kGiveAccess);
    } else if (!trial->deleted) {
        section.Warn(L"a temporary file could be created but not deleted (" + SystemError(trial->deleteError) +
                         L"): " + FromAnsi(trial->file) + L"; the viewer cannot delete signatures either",
                     L"delete that file by hand, and give the operators' accounts the right to delete files here");
    } else {
        section.Ok(L"it can be written: a temporary file was created and deleted");
    }

    const auto space = Ask(worker, limit, [directory] { return FreeSpace(directory); });
    if (!space) return DidNotAnswer(section, L"asking for the free space", limit);
    if (!space->known) {
        section.Warn(L"the free space on its drive is not known: " + SystemError(space->error),
                     L"check that the drive has room for new scans");
    } else {
        const std::wstring fact = std::to_wstring(space->freeBytes / (1024 * 1024)) + L" MB free of " +
                                  std::to_wstring(space->totalBytes / (1024 * 1024)) + L" MB";
        if (space->freeBytes < kLowSpaceBytes) {
            section.Warn(fact + L": a few more scans and kvrscan cannot save", L"free space on the drive");
        } else {
            section.Ok(fact);
        }
    }

    if (!clientKey) return;
    const std::string key = *clientKey;
    const std::wstring shownKey = Quoted(FromAnsi(key));
    bool provFound = false;
    if (!module->started) {
        section.Fail(L"kvrprov cannot be asked about client " + shownKey + L": the module did not load (section 1)",
                     L"see section 1");
    } else {
        hoststandin::ScriptHost* host = &module->host;
        const auto prov = Ask(worker, limit, [host, directory, key] { return CallKvrprov(host, directory, key); });
        if (!prov) return DidNotAnswer(section, L"kvrprov", limit);
        for (const auto& m : prov->messages) {
            section.Warn(L"kvrprov sent the message " + Quoted(FromOem(m)) + L", which it never should", L"report it to Kavrel's developers");
        }
        for (const auto& f : prov->faults) section.Fail(L"kvrprov broke the interpreter's rules: " + FromAnsi(f), L"install Kavrel.dll from the release archive again");
        if (!prov->result) {
            section.Fail(L"kvrprov wrote no answer for client " + shownKey, L"install Kavrel.dll from the release archive again");
        } else if (*prov->result == 0) {
            provFound = true;
            section.Ok(L"kvrprov answers 0 for client " + shownKey + L": signatures on file");
        } else if (*prov->result == 1) {
            const std::wstring wide = FromAnsi(key);
            section.Warn(L"kvrprov answers 1 for client " + shownKey + L": no signature file (" + wide + L"*.jpg or " +
                             wide + L"*.bmp) here",
                         L"scan the client's signature, or check the key the script passes against the file names");
        } else {
            section.Fail(L"kvrprov answers " + std::to_wstring(*prov->result) + L" for client " + shownKey +
                             L": the directory is missing or cannot be listed for the module",
                         kGiveAccess);
        }
    }

    const auto viewer = Ask(worker, limit, [directory, key] { return ListAsTheViewer(directory, key); });
    if (!viewer) return DidNotAnswer(section, L"listing the client's files", limit);
    if (!viewer->listed) {
        section.Fail(L"the viewer cannot list the directory", kGiveAccess);
        return;
    }
    if (viewer->files.empty()) {
        if (provFound) {
            section.Warn(L"the viewer, which compares the key's letter case exactly, finds no file of client " + shownKey +
                             L" although kvrprov does: kvrshow will say there is no signature",
                         L"rename the files so that they begin with the key exactly as the script passes it");
        }
        return;
    }
    const std::size_t named = std::min(viewer->files.size(), kFilesNamed);
    section.Ok(L"the viewer shows " + (viewer->files.size() > kFilesNamed ? L"more than " + std::to_wstring(kFilesNamed)
                                                                           : std::to_wstring(named)) +
               L" file(s) of client " + shownKey + L", in this order:");
    for (std::size_t i = 0; i < named; ++i) {
        const ViewerFile& file = viewer->files[i];
        const std::wstring line = L"  " + std::to_wstring(i + 1) + L". " + FromAnsi(file.name);
        if (file.fullLength > kLongestPath) {
            section.Fail(line + L": its full path is more than " + std::to_wstring(kLongestPath) +
                             L" characters; the viewer lists it but cannot open it",
                         keepShort);
        } else if (file.error) {
            section.Fail(line + L": it cannot be read (" + SystemError(file.error) + L"); the viewer cannot show it",
                         kGiveAccess);
        } else {
            section.Ok(line + L", " + Bytes(file.size));
        }
    }
}

}  // namespace kavrel::diag
