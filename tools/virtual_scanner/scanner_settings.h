// How the virtual scanner behaves, read from an INI file at every enabling, so that a test (or
// an IT department checking a workstation) can change it without rebuilding anything.
//
// The file is named by the environment variable KAVREL_VSCAN_INI, or is "virtual-scanner.ini"
// beside the scanner's own DLL. Section [Scanner]; every key is optional:
//
//   Pages=1            pages in the "feeder", delivered in one batch
//   Width=1200         the test pattern's size in pixels
//   Height=500
//   Image=             a .bmp file delivered (as it is) instead of the test pattern
//   Cancel=0           1: every transfer answers "cancelled", as when the operator stops a scan
//   CloseRequest=0     1: on enabling, ask at once to be closed, as when the operator closes the
//                      scanner's window before scanning
//   FailTransfers=0    the first N transfers of each enabling fail
//   FailEnable=0       1: refuse to be enabled
#pragma once

#include <string>

namespace kavrel::vscan {

struct ScannerSettings {
    int pages = 1;
    int width = 1200;
    int height = 500;
    std::string imageFile;
    bool cancel = false;
    bool closeRequest = false;
    int failTransfers = 0;
    bool failEnable = false;
};

// The settings now in effect (defaults for whatever the file does not say).
ScannerSettings ReadScannerSettings();

// Where the settings are read from.
std::string ScannerSettingsPath();

}  // namespace kavrel::vscan
