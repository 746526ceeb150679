// 5. The signature directory: the asking; the words are directory_words.h's.
#include <windows.h>

#include "base/replacement_file.h"
#include "base/win_handles.h"
#include "host/signature_files.h"
#include "host/signature_rule.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/directory_words.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

static_assert(kLongestPath == MAX_PATH - 1);

// The length of a path made full (the current directory of a drive-relative one joined in), or
// more than kLongestPath when it does not fit.
std::size_t FullLength(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 ? kLongestPath + 1 : length;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME ||
           error == ERROR_NOT_READY;
}

DirectoryPresence LookAt(Language language, const std::string& directory) {
    using Kind = DirectoryPresence::Kind;
    DirectoryPresence p;
    const DWORD attributes = ::GetFileAttributesA(directory.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        p.kind = attributes & FILE_ATTRIBUTE_DIRECTORY ? Kind::Directory : Kind::File;
        return p;
    }
    const DWORD error = ::GetLastError();
    p.error = SystemError(language, error);
    const bool driveLetter = directory.size() >= 2 && directory[1] == ':';
    if (driveLetter && ::GetDriveTypeA((directory.substr(0, 2) + "\\").c_str()) == DRIVE_NO_ROOT_DIR) {
        p.kind = Kind::DriveMissing;
    } else if (IsMissing(error)) {
        p.kind = Kind::Missing;
    } else {
        p.kind = error == ERROR_FILENAME_EXCED_RANGE ? Kind::PathTooLong : Kind::Inaccessible;
    }
    return p;
}

DirectoryListing ListAll(Language language, const std::string& directory) {
    DirectoryListing l;
    const double start = Now();
    WIN32_FIND_DATAA entry{};
    FindHandle find(::FindFirstFileA(ListingPattern(directory).c_str(), &entry));
    if (!find) {
        const DWORD error = ::GetLastError();
        // A drive's root with nothing in it lists nothing, successfully.
        l.listed = error == ERROR_FILE_NOT_FOUND;
        if (!l.listed) l.error = SystemError(language, error);
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

// kvrscan writes a scan as a new file beside its target and moves it into place: this check takes
// the same road (the module's ReplacementFile, the target joined by the module's rule, so that
// "Z:" is Z:'s current directory) for a target that is never a signature file, and leaves the
// new file uncommitted, which removes it again.
WriteTrial TryWriting(Language language, const std::string& directory) {
    WriteTrial t;
    std::string file;
    {
        ReplacementFile trial(JoinPath(directory, kLongestAccountName));
        if (!trial.Created()) {
            t.tooLong = trial.Error() == ERROR_FILENAME_EXCED_RANGE;
            t.createError = SystemError(language, trial.Error());
            return t;
        }
        t.created = true;
        file = trial.Path();
    }
    const DWORD deleteError = ::GetLastError();  // the removal's, if it failed
    t.file = FromAnsi(file);
    t.deleted = ::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (!t.deleted) t.deleteError = SystemError(language, deleteError);
    return t;
}

DriveSpace FreeSpace(Language language, const std::string& directory) {
    DriveSpace s;
    ULARGE_INTEGER available{}, total{};
    std::string path = directory;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    s.known = ::GetDiskFreeSpaceExA(path.c_str(), &available, &total, nullptr) != 0;
    if (!s.known) s.error = SystemError(language, ::GetLastError());
    s.freeBytes = available.QuadPart;
    s.totalBytes = total.QuadPart;
    return s;
}

KvrprovAnswer CallKvrprov(hoststandin::ScriptHost* host, const std::string& directory, const std::string& key) {
    KvrprovAnswer a;
    host->ClearRecords();
    host->Call("kvrprov", {"", directory, key});
    ReadScriptCall(*host, 0, &a);
    return a;
}

ViewerListing ListAsTheViewer(Language language, const std::string& directory, const std::string& key) {
    ViewerListing v;
    const auto names = ListSignatureFiles(directory, key, KeyMode::ExactBytes, kFilesNamed + 1);
    if (!names) return v;
    v.listed = true;
    for (const auto& name : *names) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const std::string path = JoinPath(directory, name);
        ViewerFile f{FromAnsi(name), 0, {}, FullLength(path)};
        if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
            f.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        } else {
            f.error = SystemError(language, ::GetLastError());
        }
        v.files.push_back(f);
    }
    return v;
}

}  // namespace

void CheckDirectory(BoundedWorker& worker, std::chrono::milliseconds limit, const std::string& directory,
                    const std::optional<std::string>& clientKey, ModuleUnderTest* module, ReportSection& section) {
    const std::wstring shown = FromAnsi(directory);
    const std::wstring drive = directory.size() >= 2 && directory[1] == ':' ? FromAnsi(directory.substr(0, 2)) : L"";
    const Bounds bounds{limit};
    const Language language = section.Lang();
    const auto presence = worker.Ask(bounds, [language, directory] { return LookAt(language, directory); });
    if (!presence) return ReportDirectoryHang(section.Say(TextId::LookingAtDirectory), limit, section);
    if (!ReportPresence(shown, drive, *presence, section)) return;

    const auto listing = worker.Ask(bounds, [language, directory] { return ListAll(language, directory); });
    if (!listing) return ReportDirectoryHang(section.Say(TextId::ListingDirectory), limit, section);
    if (!ReportListing(*listing, section)) return;

    auto trial = worker.Ask(bounds, [language, directory] { return TryWriting(language, directory); });
    if (!trial) return ReportDirectoryHang(section.Say(TextId::CreatingTemporaryFile), limit, section);
    trial->accountPathLength = FullLength(JoinPath(directory, kLongestAccountName));
    ReportWriteTrial(*trial, section);

    const auto space = worker.Ask(bounds, [language, directory] { return FreeSpace(language, directory); });
    if (!space) return ReportDirectoryHang(section.Say(TextId::AskingFreeSpace), limit, section);
    ReportSpace(*space, section);

    if (!clientKey) return;
    const std::string key = *clientKey;
    const std::wstring shownKey = FromAnsi(key);
    bool provFound = false;
    if (!module->started) {
        ReportKvrprovNotAsked(shownKey, section);
    } else {
        hoststandin::ScriptHost* host = &module->host;
        const auto prov = worker.Ask(bounds, [host, directory, key] { return CallKvrprov(host, directory, key); });
        if (!prov) return ReportDirectoryHang(L"kvrprov", limit, section);
        provFound = ReportKvrprov(shownKey, *prov, section);
    }

    const auto viewer =
        worker.Ask(bounds, [language, directory, key] { return ListAsTheViewer(language, directory, key); });
    if (!viewer) return ReportDirectoryHang(section.Say(TextId::ListingClientFiles), limit, section);
    ReportViewerListing(shownKey, *viewer, provFound, section);
}

}  // namespace kavrel::diag
