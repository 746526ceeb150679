// --twain-log: the triplet log of this run.
#include <windows.h>

#include <string>
#include <vector>

#include "base/win_handles.h"
#include "tools/kvrdiag/checks.h"
#include "tools/kvrdiag/file_facts.h"
#include "tools/kvrdiag/text.h"

namespace kavrel::diag {

namespace {

// The library's own variable: it reads it whenever it opens the TWAIN manager, in the process
// it runs in, which for the module under test is this one.
constexpr char kTwainLogVariable[] = "KAVREL_TWAIN_LOG";

}  // namespace

TwainLogOfRun::TwainLogOfRun(const std::string& file) {
    if (file.empty()) return;
    path_ = FullPath(file);
    sizeBefore_ = ReadFileFacts(path_).size;
    ::SetEnvironmentVariableA(kTwainLogVariable, path_.c_str());
}

void TwainLogOfRun::Report(ReportSection& section) const {
    if (path_.empty()) return;
    // The lines this run appended: after what the file held before it, or the whole file where
    // the library began it anew on the way (it keeps the full one as "<file>.1"). The library
    // holds it at about a megabyte.
    const unsigned long long from = ReadFileFacts(path_).size >= sizeBefore_ ? sizeBefore_ : 0;
    std::size_t lines = 0;
    KernelHandle file(::CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(from);
    if (file && ::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) {
        std::vector<char> chunk(64 * 1024);
        DWORD read = 0;
        while (::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0) {
            for (DWORD i = 0; i < read; ++i) lines += chunk[i] == '\n' ? 1 : 0;
        }
    }
    const std::wstring shown = FromAnsi(path_);
    if (lines == 0) {
        section.Warn(section.Say(TextId::TwainLogNotWritten, {shown}), section.Say(TextId::TwainLogNotWrittenAction));
    } else {
        section.Ok(section.Say(TextId::TwainLogWritten, {shown, std::to_wstring(lines)}));
    }
}

}  // namespace kavrel::diag
