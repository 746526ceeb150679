// One print job on a printer's device context, owned from StartDoc to its end: the job is either
// finished with EndDoc or, on every other way out (a refused page, a failed drawing, an
// exception), abandoned with AbortDoc, so that no job is ever left open in the spooler.
#pragma once

#include <windows.h>

namespace kavrel::printing {

class PrintJob {
public:
    PrintJob(HDC dc, const char* documentName) noexcept : dc_(dc) {
        DOCINFOA document{};
        document.cbSize = sizeof document;
        document.lpszDocName = documentName;
        open_ = ::StartDocA(dc_, &document) > 0;
    }
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;
    ~PrintJob() {
        if (open_) ::AbortDoc(dc_);
    }

    // Whether the spooler took the job.
    explicit operator bool() const noexcept { return open_; }

    // Sends the job to the spooler; false when it refused it. Either way the job is over.
    bool Finish() noexcept {
        open_ = false;
        return ::EndDoc(dc_) > 0;
    }

private:
    HDC dc_;
    bool open_ = false;
};

}  // namespace kavrel::printing
