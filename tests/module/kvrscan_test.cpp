// kvrscan end to end: the host stand-in calls it, Wine's TWAIN manager shows its real selection
// dialog, the virtual scanner delivers its test pattern, and the JPEG on disk is examined.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "base/win_handles.h"
#include "support/dib_builder.h"
#include "support/jpeg_inspect.h"
#include "support/test_support.h"
#include "support/window_driver.h"
#include "support/hosted_module_test.h"
#include "tools/kvrhost/script_host.h"
#include "tools/virtual_scanner/test_pattern.h"

namespace kavrel::test {
namespace {

constexpr char kScannerClass[] = "KavrelVirtualScanner";

// What the operator does in each window that appears.
struct Operator {
    int selectButton = IDOK;    // in the manager's source-selection dialog (0: never expected)
    int scannerButton = 1;      // in the scanner's window: 1 Scan, 2 Cancel
    std::vector<std::string> seen;

    WindowHandler Handler() {
        return [this](const SeenWindow& w) {
            if (w.className == "#32770" && ::FindWindowExA(w.window, nullptr, "ListBox", nullptr)) {
                seen.push_back("select");
                return selectButton ? selectButton : IDCANCEL;
            }
            if (w.className == kScannerClass) {
                seen.push_back("scanner");
                ::PostMessageA(w.window, WM_COMMAND, MAKEWPARAM(scannerButton, BN_CLICKED), 0);
                return scannerButton;
            }
            if (w.className == "#32770") {
                seen.push_back("box:" + w.text);
                return PressFirstButton(w);
            }
            return 0;
        };
    }
};

class Kvrscan : public HostedModuleTest {
protected:
    void SetUp() override {
        ini = scratch / "virtual-scanner.ini";
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
        Settings("");
        HostedModuleTest::SetUp();
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
        HostedModuleTest::TearDown();
    }
    void Settings(const std::string& lines) { WriteBytes(ini, "[Scanner]\r\nWidth=300\r\nHeight=120\r\n" + lines); }

    // Runs kvrscan with an operator answering its windows; returns the one code it wrote.
    int Scan(const std::string& directory, const std::string& name, Operator& op) {
        host.ClearRecords();
        {
            WindowWatcher watcher(op.Handler());
            EXPECT_TRUE(host.Call("kvrscan", {directory, name, "result"}));
        }
        EXPECT_EQ(host.integers.size(), 1u) << "exactly one result on every path";
        if (host.integers.size() != 1) return -1;
        EXPECT_EQ(host.integers[0].index, 2);
        EXPECT_EQ(host.integers[0].typeCode, 1);
        return host.integers[0].value;
    }
    std::vector<std::wstring> Messages() const {
        std::vector<std::wstring> m;
        for (const auto& text : host.messages) m.push_back(FromOem(text));
        return m;
    }
    // The files of the scratch directory other than the scanner's settings.
    std::vector<std::string> Files(const std::string& dir) const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry;
        HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string n = entry.cFileName;
            if (n != "." && n != ".." && n != "virtual-scanner.ini") names.push_back(n);
        } while (::FindNextFileA(find, &entry));
        ::FindClose(find);
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir scratch;
    std::string ini;
};

// The decoded picture is the scanner's page within JPEG's tolerance.
void ExpectPatternPage(const std::vector<std::uint8_t>& jpeg, int page) {
    int width = 0, height = 0;
    const auto rgb = DecodeJpeg(jpeg, &width, &height);
    ASSERT_EQ(width, 300);
    ASSERT_EQ(height, 120);
    double total = 0;
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto c = vscan::PatternColour(x, y, width, height, page);
            const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            const int d = std::abs(p[0] - c.red) + std::abs(p[1] - c.green) + std::abs(p[2] - c.blue);
            total += d;
            worst = std::max(worst, d);
        }
    }
    const double mean = total / (3.0 * width * height);
    EXPECT_LT(mean, 2.5) << "mean difference per channel";
    EXPECT_LT(worst, 150) << "no pixel far off, even at the stroke's edges";
}

TEST_F(Kvrscan, ScansTheFirstImageIntoAQuality90Jpeg) {
    Operator op;
    EXPECT_EQ(Scan(scratch.Path(), "40817810000000000001", op), 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(op.seen, (std::vector<std::string>{"select", "scanner"}));
    EXPECT_EQ(Files(scratch.Path()), std::vector<std::string>{"40817810000000000001.jpg"});
    const auto jpeg = ReadBytes(scratch / "40817810000000000001.jpg");
    const JpegFacts facts = InspectJpeg(jpeg);
    ASSERT_TRUE(facts.valid);
    EXPECT_TRUE(facts.jfif);
    EXPECT_EQ(facts.frameMarker, 0xC0) << "baseline";
    EXPECT_EQ(facts.width, 300);
    EXPECT_EQ(facts.height, 120);
    EXPECT_EQ(facts.components, 3) << "colour";
    EXPECT_EQ(facts.quantTables, LibjpegQuantTables(90));
    ExpectPatternPage(jpeg, 0);
}

TEST_F(Kvrscan, AnA4ColourPageAt600DpiIsSaved) {
    // 4960 x 7016: a 104 MB DIB from the scanner inside a 32-bit process, which the save road
    // takes band by band instead of asking for a page-sized picture as well.
    WriteBytes(ini, "[Scanner]\r\nWidth=4960\r\nHeight=7016\r\n");
    Operator op;
    EXPECT_EQ(Scan(scratch.Path(), "a4", op), 0);
    EXPECT_TRUE(host.messages.empty());
    const JpegFacts facts = InspectJpeg(ReadBytes(scratch / "a4.jpg"));
    ASSERT_TRUE(facts.valid);
    EXPECT_EQ(facts.width, 4960);
    EXPECT_EQ(facts.height, 7016);
    EXPECT_EQ(facts.components, 3);
}

TEST_F(Kvrscan, AnExistingFileIsReplacedWithoutAsking) {
    // The file keeps who it is: its attributes and, where the system keeps one, its creation time.
    const std::string old = scratch / "K.jpg";
    WriteBytes(old, "the old signature");
    ASSERT_TRUE(::SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_EQ(RunUnix("chmod 644 '" + UnixPathOf(old) + "'"), 0);
    const auto creationOf = [](const std::string& path) {
        FILETIME created{};
        KernelHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        if (file) ::GetFileTime(file.get(), &created, nullptr, nullptr);
        return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
    };
    {
        const FILETIME longAgo{0x12345600u, 0x01D00000u};  // in 2014
        KernelHandle file(::CreateFileA(old.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) ::SetFileTime(file.get(), &longAgo, nullptr, nullptr);
    }
    const std::uint64_t createdBefore = creationOf(old);
    const bool creationKept = createdBefore == 0x01D0000012345600u;  // a system that keeps what was set

    Operator op;
    EXPECT_EQ(Scan(scratch.Path(), "K", op), 0);
    EXPECT_TRUE(InspectJpeg(ReadBytes(old)).valid);
    EXPECT_EQ(op.seen, (std::vector<std::string>{"select", "scanner"})) << "no question asked";
    EXPECT_EQ(Files(scratch.Path()), std::vector<std::string>{"K.jpg"});
    EXPECT_EQ(::GetFileAttributesA(old.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    // Under Wine the file's security is a picture of its Unix mode: nothing widens it.
    EXPECT_EQ(RunUnix("test \"$(stat -c %a '" + UnixPathOf(old) + "')\" = 644"), 0) << "the mode stays 644";
    if (creationKept) {
        EXPECT_EQ(creationOf(old), createdBefore) << "the creation time";
    }
    ::SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Kvrscan, TheNameIsUsedAsGiven) {
    Operator op;
    EXPECT_EQ(Scan(scratch.Path(), "a.jpg", op), 0);
    EXPECT_EQ(Scan(scratch.Path(), "", op), 0);
    EXPECT_EQ(Scan(scratch.Path() + "\\", "trailing", op), 0);
    EXPECT_EQ(Scan(scratch.Path(), Ansi(L"Иванов И.И."), op), 0);
    EXPECT_EQ(Files(scratch.Path()), (std::vector<std::string>{".jpg", "a.jpg.jpg", "trailing.jpg",
                                                               Ansi(L"Иванов И.И..jpg")}));
    // A drive-relative directory is the drive's current directory, for kvrscan as for kvrprov:
    // the signature goes where kvrprov then finds it, not into the drive's root.
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(scratch.Path().c_str()));
    EXPECT_EQ(Scan(scratch.Path().substr(0, 2), "kvrscan-relative-to-the-drive", op), 0);
    host.ClearRecords();
    host.Call("kvrprov", {"", scratch.Path().substr(0, 2), "kvrscan-relative-to-the-drive"});
    ::SetCurrentDirectoryA(previous);
    EXPECT_TRUE(FileExists(scratch / "kvrscan-relative-to-the-drive.jpg"));
    ASSERT_EQ(host.integers.size(), 1u);
    EXPECT_EQ(host.integers[0].value, 0);
}

TEST_F(Kvrscan, TheHostUnloadingTheModuleInsideTheScanDoesNotPullItFromUnderTheScan) {
    // A host window of this thread, dispatched by the TWAIN loop while the scanner's window waits,
    // unloads the module (forwards the detach and frees it): the scan goes on and is saved.
    struct Unloader {
        static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_APP + 9) {
                reinterpret_cast<hoststandin::ScriptHost*>(::GetWindowLongPtrA(w, GWLP_USERDATA))->Unload();
                return 0;
            }
            return ::DefWindowProcA(w, m, wp, lp);
        }
    };
    WNDCLASSA wc{};
    wc.lpfnWndProc = &Unloader::Proc;
    wc.lpszClassName = "KavrelTestUnloader";
    ::RegisterClassA(&wc);
    HWND unloader = ::CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(unloader, nullptr);
    ::SetWindowLongPtrA(unloader, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&host));
    host.ClearRecords();
    {
        WindowWatcher watcher([&](const SeenWindow& w) {
            if (w.className == "#32770") return IDOK;  // the manager's selection
            if (w.className != kScannerClass) return 0;
            ::SendMessageA(unloader, WM_APP + 9, 0, 0);  // the host unloads, from its own window
            ::PostMessageA(w.window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);  // then Scan
            return 1;
        });
        EXPECT_TRUE(host.Call("kvrscan", {scratch.Path(), "unloaded", "result"}));
    }
    ::DestroyWindow(unloader);
    ::UnregisterClassA(wc.lpszClassName, nullptr);
    ASSERT_EQ(host.integers.size(), 1u);
    EXPECT_EQ(host.integers[0].value, 0);
    EXPECT_TRUE(InspectJpeg(ReadBytes(scratch / "unloaded.jpg")).valid);
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();  // for the fixture's own end
    host.Start();
}

TEST_F(Kvrscan, OnlyTheFirstPageOfAFeederIsSaved) {
    Settings("Pages=3\r\n");
    Operator op;
    EXPECT_EQ(Scan(scratch.Path(), "feeder", op), 0);
    EXPECT_EQ(Files(scratch.Path()), std::vector<std::string>{"feeder.jpg"});
    ExpectPatternPage(ReadBytes(scratch / "feeder.jpg"), 0);
    // All three pages were freed, and the library's list (the same module's) no longer offers them
    // to whoever reads it next in the process.
    using NumDibs = int(WINAPI*)();
    using GetDib = HANDLE(WINAPI*)(int);
    const auto numDibs = reinterpret_cast<NumDibs>(reinterpret_cast<void*>(::GetProcAddress(host.Module(), "TWAIN_GetNumDibs")));
    const auto getDib = reinterpret_cast<GetDib>(reinterpret_cast<void*>(::GetProcAddress(host.Module(), "TWAIN_GetDib")));
    ASSERT_TRUE(numDibs && getDib);
    EXPECT_EQ(numDibs(), 0);
    EXPECT_EQ(getDib(0), nullptr);
}

// Compares the stored JPEG with the colours the table gives, where `judged(x, y)` says a pixel
// is far enough from sharp edges for JPEG to keep it close.
void ExpectPaletteColours(const std::vector<std::uint8_t>& jpeg, int width, int height,
                          const std::vector<RGBQUAD>& table, const std::function<int(int x, int y)>& index,
                          const std::function<bool(int x, int y)>& judged, int tolerance) {
    int w = 0, h = 0;
    const auto rgb = DecodeJpeg(jpeg, &w, &h);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    int worst = 0, worstX = 0, worstY = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!judged(x, y)) continue;
            const RGBQUAD c = table[static_cast<std::size_t>(index(x, y))];
            const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            const int d = std::max({std::abs(p[0] - c.rgbRed), std::abs(p[1] - c.rgbGreen), std::abs(p[2] - c.rgbBlue)});
            if (d > worst) worst = d, worstX = x, worstY = y;
        }
    }
    EXPECT_LE(worst, tolerance) << "at (" << worstX << ", " << worstY << ")";
}

TEST_F(Kvrscan, PaletteScansAreStoredInTheirTablesColours) {
    // An 8-bit scan whose table is no grey ramp: index i is red i, green 255 - i, blue i / 2.
    std::vector<RGBQUAD> colours(256);
    for (int i = 0; i < 256; ++i) {
        colours[static_cast<std::size_t>(i)] = {static_cast<BYTE>(i / 2), static_cast<BYTE>(255 - i), static_cast<BYTE>(i), 0};
    }
    auto ramp = [](int x, int) { return x * 255 / 299; };
    WriteBytes(scratch / "colour8.bmp", PaletteBmpFile(300, 120, 8, colours, ramp));
    Settings("Image=" + (scratch / "colour8.bmp") + "\r\n");
    Operator op;
    ASSERT_EQ(Scan(scratch.Path(), "colour8", op), 0);
    ExpectPaletteColours(ReadBytes(scratch / "colour8.jpg"), 300, 120, colours, ramp,
                         [](int, int) { return true; }, 12);

    // A black-and-white scan whose table says 0 is white and 1 is black, as many scanners send
    // them: squares of 40 pixels, judged away from their edges.
    const std::vector<RGBQUAD> inverted{{255, 255, 255, 0}, {0, 0, 0, 0}};
    auto squares = [](int x, int y) { return (x / 40 + y / 40) % 2; };
    WriteBytes(scratch / "bw.bmp", PaletteBmpFile(200, 120, 1, inverted, squares));
    Settings("Image=" + (scratch / "bw.bmp") + "\r\n");
    ASSERT_EQ(Scan(scratch.Path(), "bw", op), 0);
    ExpectPaletteColours(ReadBytes(scratch / "bw.jpg"), 200, 120, inverted, squares,
                         [](int x, int y) { return x % 40 >= 8 && x % 40 < 32 && y % 40 >= 8 && y % 40 < 32; }, 12);
}

TEST_F(Kvrscan, AMissingDirectoryIsCode3WithoutASelectionDialog) {
    Operator op;
    EXPECT_EQ(Scan(scratch / "missing", "x", op), 3);
    EXPECT_EQ(Messages(), std::vector<std::wstring>{L"Отсутствует директория для сохранения"});
    EXPECT_TRUE(op.seen.empty());
    WriteBytes(scratch / "plain", "x");
    EXPECT_EQ(Scan(scratch / "plain", "x", op), 3) << "a plain file is no directory";
}

TEST_F(Kvrscan, NoSourceChosenIsCode2) {
    Operator op;
    op.selectButton = IDCANCEL;
    EXPECT_EQ(Scan(scratch.Path(), "x", op), 2);
    EXPECT_EQ(Messages(), std::vector<std::wstring>{L"TWAIN-устройство не выбрано"});
    EXPECT_EQ(op.seen, std::vector<std::string>{"select"}) << "no acquisition starts";
    EXPECT_TRUE(Files(scratch.Path()).empty());
}

TEST_F(Kvrscan, CancellingInTheScannersWindowIsCode1AndWritesNothing) {
    Operator op;
    op.scannerButton = 2;
    EXPECT_EQ(Scan(scratch.Path(), "x", op), 1);
    EXPECT_EQ(Messages(), std::vector<std::wstring>{L"TWAIN-устройство не подключено"});
    EXPECT_TRUE(Files(scratch.Path()).empty());
}

TEST_F(Kvrscan, AFailedScanLeavesTheOldSignatureUntouched) {
    // The directory cannot be written: nothing can be stored there.
    const std::string dir = scratch.Subdir("readonly");
    WriteBytes(dir + "\\K.jpg", "the old signature");
    ASSERT_EQ(RunUnix("chmod 555 '" + UnixPathOf(dir) + "'"), 0);
    Operator op;
    EXPECT_EQ(Scan(dir, "K", op), 1);
    EXPECT_EQ(Messages(), std::vector<std::wstring>{L"TWAIN-устройство не подключено"});
    const auto kept = ReadBytes(dir + "\\K.jpg");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the old signature");
    UnlockPath(dir);
    EXPECT_EQ(Files(dir), std::vector<std::string>{"K.jpg"});

    // The file cannot be replaced (a directory has its name): the new file, written completely
    // beside it, is removed again.
    scratch.Subdir("D.jpg");
    EXPECT_EQ(Scan(scratch.Path(), "D", op), 1);
    EXPECT_EQ(Files(scratch.Path()), (std::vector<std::string>{"D.jpg", "readonly"}));

    // A read-only signature is not replaced, and stays read-only (Wine's rename would replace it).
    const std::string kept2 = scratch / "R.jpg";
    WriteBytes(kept2, "the old signature");
    ASSERT_TRUE(::SetFileAttributesA(kept2.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Scan(scratch.Path(), "R", op), 1);
    const auto after = ReadBytes(kept2);
    EXPECT_EQ(std::string(after.begin(), after.end()), "the old signature");
    EXPECT_TRUE(::GetFileAttributesA(kept2.c_str()) & FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesA(kept2.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Files(scratch.Path()), (std::vector<std::string>{"D.jpg", "R.jpg", "readonly"}));
}

TEST_F(Kvrscan, MessagesArriveInTheOemCodePage) {
    Operator op;
    EXPECT_EQ(Scan(scratch / "missing", "x", op), 3);
    ASSERT_EQ(host.messages.size(), 1u);
    // "О" of "Отсутствует" is 8E in code page 866 (CE in 1251).
    EXPECT_EQ(static_cast<unsigned char>(host.messages[0][0]), 0x8E);
}

TEST_F(Kvrscan, BadArgumentsGiveACodeAndNothingIsWrittenOutsideTheDirectory) {
    const std::string target = scratch.Subdir("target");
    const std::string longText(10000, 'a');
    struct Case {
        const char* what;
        std::string directory;
        std::string name;
        int code;
        std::vector<std::string> windows;  // what the operator is shown
    };
    // A directory of exactly `length` characters inside `target` (made with the system's tools:
    // CreateDirectory stops short of MAX_PATH), so that no case depends on where the suite runs.
    const auto directoryOf = [&](std::size_t length) {
        std::string dir = target;
        while (dir.size() < length) {
            const std::size_t part = std::min<std::size_t>(length - dir.size() - 1, 200);
            dir += '\\';
            dir.append(part, 'd');
        }
        EXPECT_EQ(RunUnix("mkdir -p '" + UnixPathOf(dir) + "'"), 0);
        return dir;
    };
    const std::string dir240 = directoryOf(240), dir250 = directoryOf(250);
    const std::vector<std::string> none;
    const Case cases[] = {
        // Names that cannot be stored in the directory are refused before the selection: those
        // that would put the file elsewhere, those Windows refuses, device names, paths too long.
        {"a name climbing out of the directory", target, "..\\escaped", 1, none},
        {"a name with a slash", target, "sub/escaped", 1, none},
        {"a name with a drive", target, "C:\\escaped", 1, none},
        {"a name of a stream of another file", target, "file:stream", 1, none},
        {"characters names cannot have", target, "a<b>|c", 1, none},
        {"a wildcard", target, "a*b?", 1, none},
        {"a control character", target, "a\tb", 1, none},
        {"a device name", target, "CON", 1, none},
        {"a device name with a dot and spaces", target, "lpt1  .x", 1, none},
        {"10,000 characters of name", target, longText, 1, none},
        {"an account number in a 240-character directory", dir240, "40817810099910004312", 1, none},
        // Directories that are not there.
        {"10,000 characters of directory", longText, "x", 3, {}},
        {"a drive that does not exist", "Q:\\signatures", "x", 3, {}},
        {"a UNC path to no server", "\\\\nosuchserver\\share", "x", 3, {}},
        {"an empty directory argument", "", "x", 3, {}},
    };
    for (const Case& c : cases) {
        Operator op;
        EXPECT_EQ(Scan(c.directory, c.name, op), c.code) << c.what;
        EXPECT_EQ(op.seen, c.windows) << c.what;
        EXPECT_EQ(host.messages.size(), 1u) << c.what;
        if (c.code == 1 && host.messages.size() == 1) {
            const std::string path = c.directory + "\\" + c.name + ".jpg";
            EXPECT_EQ(Messages()[0], L"Невозможно сохранить файл подписи: " + FromAnsi(path)) << c.what;
        }
    }
    // A short name where its path fits, although the replacement's usual name would not.
    Operator op250;
    EXPECT_EQ(Scan(dir250, "1234", op250), 0);
    EXPECT_EQ(Files(dir250), std::vector<std::string>{"1234.jpg"});
    ::DeleteFileA((dir250 + "\\1234.jpg").c_str());
    EXPECT_EQ(RunUnix("rm -r '" + UnixPathOf(target) + "/d'* "), 0);
    EXPECT_TRUE(Files(target).empty()) << "nothing written for any of them";
    EXPECT_EQ(Files(scratch.Path()), std::vector<std::string>{"target"}) << "nor beside the directory";
    EXPECT_FALSE(FileExists(scratch / "escaped.jpg"));

    // Cyrillic directory and name are ordinary ones.
    const std::string cyrillic = scratch.Subdir(Ansi(L"Подписи"));
    Operator op;
    EXPECT_EQ(Scan(cyrillic, Ansi(L"Иванов Иван"), op), 0);
    EXPECT_EQ(Files(cyrillic), std::vector<std::string>{Ansi(L"Иванов Иван.jpg")});
}

TEST_F(Kvrscan, MissingArgumentsReadAsEmptyTexts) {
    for (auto missing : {hoststandin::MissingArgument::LeaveVariable, hoststandin::MissingArgument::NullRecord,
                         hoststandin::MissingArgument::NullText}) {
        host.SetMissingArgument(missing);
        host.ClearRecords();
        EXPECT_TRUE(host.Call("kvrscan", {}));
        ASSERT_EQ(host.integers.size(), 1u);
        EXPECT_EQ(host.integers[0].index, 2);
        EXPECT_EQ(host.integers[0].value, 3) << "the empty directory is no directory";
    }
}

}  // namespace
}  // namespace kavrel::test
