// Printing a picture on the default printer: one job of one page, no dialog, the printer's own
// settings untouched.
#pragma once

#include <string>

#include "runtime/picture/bitmap.h"

namespace kavrel::printing {

// The name of the default printer; throws kavrel::Error when there is none.
std::string DefaultPrinterName();

// Draws `picture` stretched into (0, 0, width, height) of the page, in printer pixels, and
// sends the job to the spooler. Throws kavrel::Error, with a message for the operator, when
// there is no default printer or the job is refused.
void PrintPicture(const picture::DibBitmap& picture, int width, int height, const std::string& documentName);

}  // namespace kavrel::printing
