// The print road below the viewer, in a DLL of its own that print_test loads when it needs it:
// a program that imports the spooler from its start sees no CUPS printer under this Wine set-up,
// while one that loads it later (as Kavrel.dll does) sees the default printer.
#include <windows.h>

#include <cstring>
#include <exception>
#include <stdexcept>

#include "runtime/picture/bitmap.h"
#include "runtime/printing/printer.h"

// Prints a 100 x 50 picture into a rectangle of 500 x 250 printer pixels, or -- `drawingFails` --
// a page whose drawing the printer does not carry out (1) or whose drawing throws (2); answers 1
// when the job went to the spooler, 0 with the error's message when it did not.
extern "C" __declspec(dllexport) int __stdcall PrintProbe(int drawingFails, char* error, int errorSize) {
    try {
        kavrel::picture::DibBitmap picture(100, 50);
        if (drawingFails == 2) {
            kavrel::printing::PrintPage("Kavrel test", [](HDC) -> bool { throw std::runtime_error("drawing threw"); },
                                        "a test page");
        } else if (drawingFails) {
            kavrel::printing::PrintPage("Kavrel test", [](HDC) { return false; }, "a test page");
        } else {
            kavrel::printing::PrintPicture(picture, 500, 250, "Kavrel test");
        }
        return 1;
    } catch (const std::exception& e) {
        if (errorSize > 0) {
            std::strncpy(error, e.what(), static_cast<std::size_t>(errorSize) - 1);
            error[errorSize - 1] = '\0';
        }
        return 0;
    }
}

