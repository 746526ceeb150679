#include "base/replacement_file.h"

#include <windows.h>

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
    const std::string directory = DirectoryOf(target_);
    char temporary[MAX_PATH + 16] = {};
    // GetTempFileNameA wants room for its own "kvrXXXX.tmp" in a MAX_PATH buffer.
    // GetTempFileNameA makes the file; Wine's answers a name even where it could not make it (a
    // directory that takes no new file): the file must be there.
    if (!directory.empty() && directory.size() + 14 < MAX_PATH &&
        ::GetTempFileNameA(directory.c_str(), "kvr", 0, temporary) &&
        ::GetFileAttributesA(temporary) != INVALID_FILE_ATTRIBUTES) {
        temporary_ = temporary;
    }
}

ReplacementFile::~ReplacementFile() {
    if (!temporary_.empty()) ::DeleteFileA(temporary_.c_str());
}

bool ReplacementFile::Commit() {
    if (temporary_.empty()) return false;
    if (!::MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;  // the destructor removes the temporary file
    }
    temporary_.clear();
    return true;
}

}  // namespace kavrel
