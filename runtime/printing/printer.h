// Printing a picture on the default printer: one job of one page, no dialog, the printer's own
// settings untouched.
#pragma once

#include <functional>
#include <string>

#include "runtime/picture/bitmap.h"

namespace kavrel::printing {

// The name of the default printer; throws kavrel::Error when there is none.
std::string DefaultPrinterName();

// One job of one page on the default printer: `drawPage` draws the page and answers whether the
// printer carried the drawing out. Throws kavrel::Error, with a message for the operator, when
// there is no default printer, the job or the page is refused, or the drawing failed (`what`
// names what was being drawn); the job is then abandoned, and no page reaches the spooler.
void PrintPage(const std::string& documentName, const std::function<bool(HDC page)>& drawPage,
               const std::string& what);

// Draws `picture` stretched into (0, 0, width, height) of the page, in printer pixels, and
// sends the job to the spooler (PrintPage).
void PrintPicture(const picture::DibBitmap& picture, int width, int height, const std::string& documentName);

}  // namespace kavrel::printing
