#include "base/replacement_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/file_api_names.h"
#include "base/wine.h"

namespace kavrel {

namespace {

struct FullPath {
    std::string path;      // empty when the path has no full form within MAX_PATH
    std::size_t nameAt = 0;  // where its file name starts
};

// A path as the system resolves it (a relative name is in the current directory, "Z:name" in Z:'s
// current directory).
FullPath FullPathOf(const std::string& path) {
    char full[MAX_PATH] = {};
    char* name = nullptr;
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, &name);
    if (length == 0 || length >= sizeof full || !name || name == full) return {};
    return {std::string(full, length), static_cast<std::size_t>(name - full)};
}

// What the new file takes over from the one it replaces where the replacement is a rename: the
// attributes a file may carry along and its creation time.
struct FileIdentity {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    FILETIME created{};
};

constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// One call: the attributes and the creation time together.
FileIdentity IdentityOf(const std::string& path) {
    FileIdentity id;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return id;
    id.attributes = data.dwFileAttributes;
    id.created = data.ftCreationTime;
    return id;
}

// Renames an open file to `target`, over a file of that name: under Wine one request, where
// MoveFileEx opens the file again and asks several. (Windows takes a DOS path here only from
// Windows 10 on, and the handle needs the right to delete, which a share may not grant: there the
// file is closed and moved by name.)
bool RenameOpenFile(HANDLE file, const std::string& target) {
    // The name is read in the code page the process's other "A" file calls read it in (a program
    // may have switched them to the OEM one): else the file would go in under another name.
    const UINT codePage = FileApiCodePage();
    const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, target.c_str(), -1, nullptr, 0);
    if (length <= 0) return false;
    std::vector<std::uint8_t> record(offsetof(FILE_RENAME_INFO, FileName) + sizeof(WCHAR) * static_cast<std::size_t>(length));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(record.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(sizeof(WCHAR) * static_cast<std::size_t>(length - 1));
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, target.c_str(), -1, rename->FileName, length) != length) {
        return false;
    }
    return ::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(record.size())) != FALSE;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
    // A file that is there must be one this process may replace: open for writing, and shared
    // with no one (as creating it over would require). Where its attributes say there is no file
    // (a new signature, the common case), the opening is spared.
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    const bool absent = !::GetFileAttributesExA(target_.c_str(), GetFileExInfoStandard, &attributes) &&
                        (::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND);
    if (!absent) {
        KernelHandle existing(::CreateFileA(target_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD error = existing ? ERROR_SUCCESS : ::GetLastError();
        if (!existing && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            targetRefused_ = true;
            error_ = error;
            return;
        }
    }
    // (A target whose full path cannot be found out is one whose full path is too long.)
    const FullPath full = FullPathOf(target_);
    if (full.path.empty()) {
        error_ = ERROR_FILENAME_EXCED_RANGE;
        return;
    }
    fullTarget_ = full.path;
    const std::string directory = full.path.substr(0, full.nameAt);
    // "kvrXXXX.tmp", as GetTempFileName names its files, but made here with CREATE_NEW and kept
    // open: the handle is proof that the file is there (Wine's GetTempFileNameA answers a name
    // even where it could not make the file), and the writer needs no second opening. Where that
    // name would not fit beside the target, a shorter one does ("~" and hex digits): whatever the
    // target's path, when it fits, its replacement fits too.
    const std::size_t room = MAX_PATH - 1 - directory.size();
    const std::size_t digits = room >= 11 ? 4 : std::min<std::size_t>(room - 1, 4);
    const unsigned names = 1u << (4 * digits);
    // Under Wine the file is renamed into place through its own handle, which needs the right to
    // delete it (what Wine grants wherever the directory may be written).
    renamesThroughHandle_ = WineVersion() != nullptr;
    const DWORD access = GENERIC_WRITE | (renamesThroughHandle_ ? DELETE : 0);
    const unsigned start = (::GetTickCount() ^ ::GetCurrentProcessId()) & (names - 1);
    for (unsigned n = 0; n < names; ++n) {
        char name[16];
        if (room >= 11) {
            std::snprintf(name, sizeof name, "kvr%04X.tmp", (start + n) & 0xFFFFu);
        } else {
            std::snprintf(name, sizeof name, "~%0*X", static_cast<int>(digits), (start + n) & (names - 1));
            name[1 + digits] = '\0';
        }
        const std::string path = directory + name;
        file_.reset(::CreateFileA(path.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_) {
            temporary_ = path;
            return;
        }
        error_ = ::GetLastError();
        if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) return;
    }
}

ReplacementFile::~ReplacementFile() {
    file_.reset();
    if (!temporary_.empty()) ::DeleteFileA(temporary_.c_str());
}

bool ReplacementFile::TargetFits(const std::string& target) { return !FullPathOf(target).path.empty(); }

bool ReplacementFile::Commit() {
    if (temporary_.empty() || !file_) return false;
    // ReplaceFile wants full paths (Wine's refuses relative ones with ERROR_DIRECTORY): the one the
    // temporary file was made beside.
    const std::string& target = fullTarget_;
    const FileIdentity before = IdentityOf(target);
    const bool replacing = before.attributes != INVALID_FILE_ATTRIBUTES;
    // Made read-only since it was checked: still not replaced (Wine's rename would drop the mark).
    if (replacing && (before.attributes & FILE_ATTRIBUTE_READONLY)) return false;
    if (replacing && !WineVersion()) {
        // Windows' ReplaceFile puts the new content into the file that is there: it keeps its
        // attributes, security, creation time and hard links.
        if (!::CloseHandle(file_.release())) return false;
        if (::ReplaceFileA(target.c_str(), temporary_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
            temporary_.clear();
            return true;
        }
        // Refused with the old file gone and the new one still under its own name (what
        // ERROR_UNABLE_TO_MOVE_REPLACEMENT reports): it is moved in below rather than removed. A
        // target still there is left as it was.
        if (::GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    } else {
        // Where there is no file yet, and under Wine, the new file goes in by one rename. Wine's
        // ReplaceFile is no replacement in one step: it renames the old file away, deletes it and
        // only then moves the new one in, so that kvrprov or the viewer find no signature in
        // between, a failure or a crash there loses it, and a failed step leaves its own
        // temporary file behind. What the replaced file's identity has that a rename can carry
        // is set on the new file first, in one call: its creation time and attributes. (Its
        // security under Wine is a picture of the Unix mode; written back it would widen the
        // mode.)
        if (replacing) {
            FILE_BASIC_INFO basic{};  // times and attributes of 0 are left as they are
            basic.CreationTime.LowPart = before.created.dwLowDateTime;
            basic.CreationTime.HighPart = static_cast<LONG>(before.created.dwHighDateTime);
            // A new file is made with the archive mark alone: only other marks are set.
            const DWORD carried = before.attributes & kCarriedAttributes;
            if (carried != FILE_ATTRIBUTE_ARCHIVE) basic.FileAttributes = carried ? carried : FILE_ATTRIBUTE_NORMAL;
            ::SetFileInformationByHandle(file_.get(), FileBasicInfo, &basic, sizeof basic);
        }
        if (renamesThroughHandle_ && RenameOpenFile(file_.get(), target)) {
            // Wine hands every WriteFile to the system at once: its close has no write left to report.
            file_.reset();
            temporary_.clear();
            return true;
        }
        if (!::CloseHandle(file_.release())) return false;
    }
    if (!::MoveFileExA(temporary_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace kavrel
