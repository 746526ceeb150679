#include "base/replacement_file.h"

#include <windows.h>

#include <utility>

namespace kavrel {

namespace {

// The directory a path names its file in: up to the last separator, the drive of a
// drive-relative name ("Z:name" is in Z:'s current directory), else the current directory.
std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    if (slash != std::string::npos) return path.substr(0, slash == 0 ? 1 : slash);
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    return ".";
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
    const std::string directory = DirectoryOf(target_);
    char temporary[MAX_PATH + 16] = {};
    // GetTempFileNameA wants room for its own "kvrXXXX.tmp" in a MAX_PATH buffer.
    if (directory.size() + 14 < MAX_PATH && ::GetTempFileNameA(directory.c_str(), "kvr", 0, temporary)) {
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
