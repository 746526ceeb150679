#include "runtime/printing/printer.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "base/operator_messages.h"
#include "base/win_handles.h"
#include "runtime/printing/print_job.h"

namespace kavrel::printing {

std::string DefaultPrinterName() {
    DWORD size = 0;
    ::GetDefaultPrinterA(nullptr, &size);
    std::vector<char> name(size ? size : 1);
    if (!size || !::GetDefaultPrinterA(name.data(), &size) || !name[0]) {
        throw Error(kNoDefaultPrinterMessage.text);
    }
    return name.data();
}

void PrintPage(const std::string& documentName, const std::function<bool(HDC page)>& drawPage,
               const std::string& what) {
    const std::string printer = DefaultPrinterName();
    CreatedDc dc(::CreateDCA("WINSPOOL", printer.c_str(), nullptr, nullptr));
    if (!dc) throw Error("Печать невозможна: принтер \"" + printer + "\" недоступен");
    PrintJob job(dc.get(), documentName.c_str());
    if (!job) throw Error("Печать невозможна: принтер \"" + printer + "\" не принял задание");
    // From here every way out but Finish abandons the job instead of leaving it open in the spooler.
    if (::StartPage(dc.get()) <= 0) throw Error("Печать невозможна: принтер \"" + printer + "\" не принял страницу");
    // A driver that refuses the drawing (out of memory for a large zoomed picture, for one) would
    // leave a blank page: the job is abandoned and the operator told instead.
    if (!drawPage(dc.get())) {
        throw Error("Печать невозможна: принтер \"" + printer + "\" не смог напечатать " + what);
    }
    if (::EndPage(dc.get()) <= 0) throw Error("Печать невозможна: принтер \"" + printer + "\" не принял страницу");
    if (!job.Finish()) throw Error("Печать не завершена: принтер \"" + printer + "\" не принял задание");
}

void PrintPicture(const picture::DibBitmap& picture, int width, int height, const std::string& documentName) {
    PrintPage(documentName, [&](HDC page) { return picture.DrawStretched(page, 0, 0, width, height); },
              "изображение " + std::to_string(width) + " x " + std::to_string(height) + " точек");
}

}  // namespace kavrel::printing
