#include "runtime/printing/printer.h"

#include <windows.h>

#include <vector>

#include "base/error.h"
#include "base/win_handles.h"

namespace kavrel::printing {

std::string DefaultPrinterName() {
    DWORD size = 0;
    ::GetDefaultPrinterA(nullptr, &size);
    std::vector<char> name(size ? size : 1);
    if (!size || !::GetDefaultPrinterA(name.data(), &size) || !name[0]) {
        throw Error("Печать невозможна: в системе не установлен принтер по умолчанию");
    }
    return name.data();
}

void PrintPicture(const picture::DibBitmap& picture, int width, int height, const std::string& documentName) {
    const std::string printer = DefaultPrinterName();
    CreatedDc dc(::CreateDCA("WINSPOOL", printer.c_str(), nullptr, nullptr));
    if (!dc) throw Error("Печать невозможна: принтер \"" + printer + "\" недоступен");
    DOCINFOA document{};
    document.cbSize = sizeof document;
    document.lpszDocName = documentName.c_str();
    if (::StartDocA(dc.get(), &document) <= 0) {
        throw Error("Печать невозможна: принтер \"" + printer + "\" не принял задание");
    }
    // From here a failure abandons the job instead of leaving it open in the spooler.
    bool printed = ::StartPage(dc.get()) > 0;
    if (printed) {
        picture.DrawStretched(dc.get(), 0, 0, width, height);
        printed = ::EndPage(dc.get()) > 0;
    }
    if (!printed) {
        ::AbortDoc(dc.get());
        throw Error("Печать невозможна: принтер \"" + printer + "\" не принял страницу");
    }
    if (::EndDoc(dc.get()) <= 0) throw Error("Печать не завершена: принтер \"" + printer + "\" не принял задание");
}

}  // namespace kavrel::printing
