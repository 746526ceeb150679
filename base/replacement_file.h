// A file written beside the file it replaces and put in its place only once it is complete: a
// write that fails (a full disk, data refused halfway) leaves the file that was there whole, and
// no partial file behind; where there was none, nothing is left. A file that was there keeps its
// attributes and creation time (on Windows its security and hard links as well).
#pragma once

#include <windows.h>

#include <string>

#include "base/win_handles.h"

namespace kavrel {

class ReplacementFile {
public:
    // Creates an empty temporary file in the target's directory, open for writing (Created() says
    // whether it could) -- unless a file that is there may not be replaced (TargetRefused()).
    explicit ReplacementFile(std::string target);
    // Whether a replacement can be made for `target` at all: its full path fits MAX_PATH. The
    // replacement's own name is then made short enough to fit beside it.
    static bool TargetFits(const std::string& target);
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~ReplacementFile();

    bool Created() const { return !temporary_.empty(); }
    // A file is there that this process may not write: read-only, held by another program, or a
    // directory. Windows refuses to move a file over it; Wine's rename would not, and would drop
    // a read-only mark with the file.
    bool TargetRefused() const { return targetRefused_; }
    // Why no temporary file was made (a system error code); 0 when it was.
    DWORD Error() const { return Created() ? 0 : error_; }
    // Where to write: the temporary file, open for writing and shared with no one.
    HANDLE Handle() const { return file_.get(); }
    const std::string& Path() const { return temporary_; }
    const std::string& Target() const { return target_; }

    // Closes the written file and puts it in the target's place: on Windows into the file that is
    // there (ReplaceFile); where there is none, and under Wine, by one rename, the replaced file's
    // attributes and creation time set on the new one first. False when it could not be closed
    // (the last of a network write can fail there) or put in place; the temporary file is then
    // removed and the target left as it was.
    bool Commit();

private:
    std::string target_;
    std::string fullTarget_;  // the target's full path, as it was when the temporary file was made
    std::string temporary_;
    KernelHandle file_;
    bool targetRefused_ = false;
    bool renamesThroughHandle_ = false;
    DWORD error_ = 0;
};

}  // namespace kavrel
