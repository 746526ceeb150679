#include "base/replacement_file.h"

#include <cstdio>
#include <utility>

namespace kavrel {

namespace {

// The directory a path names its file in, resolved as the system resolves the path itself (a
// relative name is in the current directory, "Z:name" in Z:'s current directory).
std::string DirectoryOf(const std::string& path) {
    char full[MAX_PATH] = {};
    char* name = nullptr;
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, &name);
    if (length == 0 || length >= sizeof full || !name || name == full) return {};
    return std::string(full, static_cast<std::size_t>(name - full));
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
    // A file that is there must be one this process may replace: open for writing, and shared
    // with no one (as creating it over would require).
    {
        KernelHandle existing(::CreateFileA(target_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD error = existing ? ERROR_SUCCESS : ::GetLastError();
        if (!existing && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            targetRefused_ = true;
            error_ = error;
            return;
        }
    }
    const std::string directory = DirectoryOf(target_);
    // "kvrXXXX.tmp", as GetTempFileName names its files, but made here with CREATE_NEW and kept
    // open: the handle is proof that the file is there (Wine's GetTempFileNameA answers a name
    // even where it could not make the file), and the writer needs no second opening.
    constexpr std::size_t kNameLength = 11;
    // (A directory that cannot be found out is one whose full path is too long.)
    if (directory.empty() || directory.size() + kNameLength >= MAX_PATH) {
        error_ = ERROR_FILENAME_EXCED_RANGE;
        return;
    }
    const unsigned start = (::GetTickCount() ^ ::GetCurrentProcessId()) & 0xFFFFu;
    for (unsigned n = 0; n <= 0xFFFFu; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "kvr%04X.tmp", (start + n) & 0xFFFFu);
        const std::string path = directory + name;
        file_.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
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

bool ReplacementFile::Commit() {
    if (temporary_.empty() || !file_) return false;
    if (!::CloseHandle(file_.release())) return false;  // the destructor removes the temporary file
    if (!::MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace kavrel
