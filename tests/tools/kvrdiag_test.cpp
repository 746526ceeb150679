// kvrdiag in the main prefix (Wine's TWAIN manager with the virtual scanner, a CUPS printer):
// a sound workstation reports every section OK and a scan that matches the page; a hanging
// source is reported and the program still ends; bad directories and keys have their lines.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <vector>

#include "support/jpeg_inspect.h"
#include "support/test_support.h"
#include "tools/kvrdiag_runner.h"

namespace kavrel::test {
namespace {

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD found, LONG_PTR into) {
    *reinterpret_cast<WORD*>(into) = found;
    return FALSE;
}

// A copy of the module whose version resource is flagged as built with uncommitted changes, as a
// developer's "-dirty" build is.
std::string DeveloperBuildCopy(const std::string& copy) {
    if (!::CopyFileA(KavrelDllPath().c_str(), copy.c_str(), FALSE)) return {};
    DWORD ignored = 0;
    std::vector<char> block(::GetFileVersionInfoSizeA(copy.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (block.empty() || !::GetFileVersionInfoA(copy.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) {
        return {};
    }
    fixed->dwFileFlags |= VS_FF_PRIVATEBUILD;
    WORD language = 0;
    if (HMODULE data = ::LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        ::EnumResourceLanguagesA(data, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), &FirstLanguage,
                                 reinterpret_cast<LONG_PTR>(&language));
        ::FreeLibrary(data);
    }
    WORD resourceLength = 0;  // the resource's own length, its first field
    std::memcpy(&resourceLength, block.data(), sizeof resourceLength);
    HANDLE update = ::BeginUpdateResourceA(copy.c_str(), FALSE);
    if (!update || !::UpdateResourceA(update, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), language, block.data(), resourceLength) ||
        !::EndUpdateResourceA(update, FALSE)) {
        return {};
    }
    return copy;
}

// A copy of the signed module changed after signing, in its DOS stub's message: it loads as
// before, but its content is no longer what was signed.
std::string TamperedCopy(const std::string& copy) {
    auto bytes = ReadBytes(SignedKavrelDllPath());
    const std::string stub = "This program cannot be run in DOS mode";
    const auto at = std::search(bytes.begin(), bytes.end(), stub.begin(), stub.end());
    if (at == bytes.end()) return {};
    *at = 't';  // "this program …"
    WriteBytes(copy, bytes);
    return copy;
}

// A copy of the signed module whose signature, at the file's end, is cut short.
std::string CutShortCopy(const std::string& copy) {
    auto bytes = ReadBytes(SignedKavrelDllPath());
    if (bytes.size() < 4096) return {};
    bytes.resize(bytes.size() - 256);
    WriteBytes(copy, bytes);
    return copy;
}

// The text after `prefix` on the first line of the report that starts with it.
std::wstring After(const KvrdiagRun& run, const std::wstring& prefix) {
    for (const auto& line : run.Lines(prefix.c_str())) return line.substr(prefix.size());
    return {};
}

TEST(Kvrdiag, ASoundWorkstationIsOkInEverySectionAndTheScanMatchesThePage) {
    ScratchDir dir;
    WriteBytes(dir / Ansi(L"Иванов_1.jpg"), "not a picture: the viewer's order is what counts");
    const std::string out = dir / "report.txt";
    const std::string log = dir / "twain.log";
    const KvrdiagRun run = RunKvrdiag({"--sources", "--scan", "--keep", "--twain-log", log, "--out", out, dir.Path(), Ansi(L"Иванов")},
                                      "[Scanner]\r\nWidth=640\r\nHeight=480\r\n");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << Ansi(run.report);
    EXPECT_TRUE(run.Lines(L"WARN").empty() && run.Lines(L"FAIL").empty()) << Ansi(run.report);
    for (const wchar_t* title : {L"1. The module", L"2. Windows", L"3. TWAIN", L"4. Printing", L"5. The signature",
                                 L"6. One scan"}) {
        EXPECT_EQ(run.Lines(title).size(), 1u) << Ansi(title);
    }
    // Read from 866 bytes: the Cyrillic file name came through the console's code page.
    EXPECT_EQ(run.Lines(L"OK      1. Иванов_1.jpg").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"OK      pixel types: BW, GRAY, RGB").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.Lines(L"OK    signed by CN=Kavrel Test Signing, O=Kavrel test (Authenticode)").size(), 1u)
        << Ansi(run.report);

    // The scan is kvrscan's, as a teller makes it: the scanner chosen, the page scanned in its window.
    EXPECT_EQ(run.windowsAnswered, (std::vector<std::string>{"select", "scanner"}));
    EXPECT_EQ(run.Lines(L"OK    kvrscan = 0 after ").size(), 1u) << Ansi(run.report);
    const std::string kept = Ansi(After(run, L"OK    kept: "));
    ASSERT_FALSE(kept.empty()) << Ansi(run.report);
    const JpegFacts jpeg = InspectJpeg(ReadBytes(kept));
    EXPECT_TRUE(jpeg.valid);
    EXPECT_EQ(jpeg.width, 640);
    EXPECT_EQ(jpeg.height, 480);
    ::DeleteFileA(kept.c_str());
    ::RemoveDirectoryA(kept.substr(0, kept.find_last_of('\\')).c_str());

    // The module's triplet log of the run, named in the report with the lines it holds: the
    // TWAIN section's steps and kvrscan's scan.
    const auto logged = ReadBytes(log);
    const std::string lines(logged.begin(), logged.end());
    EXPECT_NE(lines.find("DS  DG_IMAGE DAT_IMAGENATIVEXFER MSG_GET -> TWRC_XFERDONE, state 6 -> 7"), std::string::npos) << lines;
    const auto count = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
    const std::wstring named = L"OK    the TWAIN triplet log of this run: " + FromAnsi(log) + L" (" + std::to_wstring(count) + L" lines)";
    EXPECT_EQ(run.Lines(named.c_str()).size(), 1u) << Ansi(run.report);

    // The same report in the file, as UTF-8 behind a byte-order mark.
    const auto file = ReadBytes(out);
    ASSERT_GE(file.size(), 3u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 3), "\xEF\xBB\xBF");
    const std::string utf8(file.begin() + 3, file.end());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    EXPECT_EQ(text, run.report);
}

std::wstring FromUtf8(const std::string& utf8) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

std::string Utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

// A report's lines as they stay from run to run and from machine to machine: without the
// heading's computer, user and time, with every path, commit, build number, size, free space and
// time the same placeholder. Answers, counts, pixel sizes and exit codes stay as they are.
std::vector<std::wstring> LastingLines(const std::wstring& report) {
    static const std::wregex path(LR"([A-Za-z]:\\[^\s,"]*)");
    static const std::wregex commit(LR"(\+[0-9a-f]{7}\b)");
    static const std::wregex build(LR"((file version \d+\.\d+\.\d+)\.\d+)");
    static const std::wregex bytes(LR"(\d[\d ]* bytes)");
    static const std::wregex space(LR"(\d+ MB free of \d+ MB)");
    static const std::wregex seconds(LR"(\d+\.\d\d s\b)");
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < report.size()) {
        std::size_t end = report.find(L'\n', start);
        if (end == std::wstring::npos) end = report.size();
        std::wstring line = report.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.rfind(L"computer ", 0) == 0) continue;
        line = std::regex_replace(line, path, L"PATH");
        line = std::regex_replace(line, commit, L"+COMMIT");
        line = std::regex_replace(line, build, L"$1.#");
        line = std::regex_replace(line, bytes, L"# bytes");
        line = std::regex_replace(line, space, L"# MB free of # MB");
        lines.push_back(std::regex_replace(line, seconds, L"#.## s"));
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

// The README's sample report is what this build reports for the command above it; run with
// KAVREL_UPDATE_README=1, the case writes this run's report there instead.
TEST(Kvrdiag, TheReadmeSampleReportIsThisBuilds) {
    const std::string readmePath = WindowsPath(KAVREL_README_PATH);
    const auto readmeBytes = ReadBytes(readmePath);
    const std::string readme(readmeBytes.begin(), readmeBytes.end());
    const std::string opening = "```\nkvrdiag: what this workstation has";
    const auto begin = readme.find(opening);
    ASSERT_NE(begin, std::string::npos) << "no sample report in " << readmePath;
    const auto end = readme.find("\n```\n", begin + 4);
    ASSERT_NE(end, std::string::npos);
    const std::string sample = readme.substr(begin + 4, end + 1 - (begin + 4));

    ScratchDir dir;
    const std::string key = "40817810000000000001";
    WriteBytes(dir / (key + "_1.jpg"), std::string(17449, 'x'));
    WriteBytes(dir / (key + "_2.jpg"), std::string(17449, 'x'));
    const KvrdiagRun run = RunKvrdiag({"--sources", "--scan", dir.Path(), key}, "");
    ASSERT_TRUE(run.ended);
    // The README names the directory as its command does.
    std::wstring report = run.report;
    for (std::size_t at; (at = report.find(FromAnsi(dir.Path()))) != std::wstring::npos;) {
        report.replace(at, dir.Path().size(), L"Z:\\tmp\\signatures");
    }
    std::wstring unixReport;
    for (wchar_t c : report) {
        if (c != L'\r') unixReport += c;
    }
    if (const char* update = std::getenv("KAVREL_UPDATE_README"); update && std::string(update) == "1") {
        WriteBytes(readmePath, readme.substr(0, begin + 4) + Utf8(unixReport) + readme.substr(end + 1));
        return;
    }
    EXPECT_EQ(LastingLines(FromUtf8(sample)), LastingLines(unixReport))
        << "the README's sample report is not this build's; KAVREL_UPDATE_README=1 bash scripts/test.sh -- -R "
           "'^Kvrdiag$' writes it there. This build's:\n"
        << Utf8(unixReport);
}

// Under LC_ALL=ru_RU.UTF-8 (tests/wine/run-in-prefix.sh) Wine answers a Russian interface language,
// and kvrdiag, given no --lang, reports in Russian: its tags, names and numbers as in English, its
// Cyrillic the same in the redirected output (code page 866) as in the --out file (UTF-8).
TEST(Kvrdiag, ARussianUserReadsTheReportInRussian) {
    ScratchDir dir;
    WriteBytes(dir / "zk_1.jpg", std::string(12345, 'x'));
    const std::string out = dir / "report.txt";
    const KvrdiagRun run = RunKvrdiag({"--out", out, dir.Path(), "zk"}, "", {}, nullptr);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << Ansi(run.report);
    for (const wchar_t* line : {L"kvrdiag: что есть на этом рабочем месте для функций подписей Kavrel", L"1. Модуль",
                                L"2. Windows и региональные стандарты", L"5. Папка подписей",
                                L"OK    подписан: CN=Kavrel Test Signing, O=Kavrel test (Authenticode), WinVerifyTrust",
                                L"OK    кодовая страница OEM 866", L"OK    запись возможна: временный файл создан и удалён",
                                L"OK      1. zk_1.jpg, 12 345 байт", L"Итог: "}) {
        EXPECT_EQ(run.Lines(line).size(), 1u) << Ansi(line) << "\n" << Ansi(run.report);
    }
    EXPECT_NE(run.report.find(L" OK, 0 WARN, 0 FAIL (код выхода 0)\r\n"), std::wstring::npos) << Ansi(run.report);
    EXPECT_EQ(run.report.find(L" the "), std::wstring::npos) << Ansi(run.report);
    const auto file = ReadBytes(out);
    ASSERT_GE(file.size(), 3u);
    EXPECT_EQ(FromUtf8(std::string(file.begin() + 3, file.end())), run.report);
}

TEST(Kvrdiag, ASourceThatHangsInOpeningIsReportedAndTheProgramEnds) {
    const KvrdiagRun run = RunKvrdiag({"--timeout", "15", "--sources", "--scan"}, "[Scanner]\r\nHangOnOpen=1\r\n");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 2);
    const auto failures = run.Lines(L"FAIL");
    ASSERT_EQ(failures.size(), 2u) << Ansi(run.report);
    EXPECT_NE(failures[0].find(L"MSG_OPENDS"), std::wstring::npos) << Ansi(failures[0]);
    EXPECT_NE(failures[0].find(L"did not come back"), std::wstring::npos) << Ansi(failures[0]);
    EXPECT_NE(failures[1].find(L"scan not run"), std::wstring::npos) << Ansi(failures[1]);
    // The sections after the hang are still there.
    EXPECT_EQ(run.Lines(L"Result: ").size(), 1u) << Ansi(run.report);
}

TEST(Kvrdiag, ASourceThatNeverEndsItsBatchIsScannedOnceAsKvrscanScans) {
    const KvrdiagRun run = RunKvrdiag({"--scan"}, "[Scanner]\r\nWidth=64\r\nHeight=40\r\nEndlessBatch=1\r\n");
    ASSERT_TRUE(run.ended);
    // One Scan pressed, one page saved, and kvrscan back within its time.
    EXPECT_EQ(run.windowsAnswered, (std::vector<std::string>{"select", "scanner"}));
    EXPECT_EQ(run.Lines(L"OK    kvrscan = 0 after ").size(), 1u) << Ansi(run.report);
    EXPECT_EQ(run.exitCode, 0) << Ansi(run.report);
}

TEST(Kvrdiag, BadArgumentsDirectoriesAndKeysHaveTheirLinesAndExitCodes) {
    ScratchDir dir;
    WriteBytes(dir / "someone_else.jpg", "x");
    // A directory the operators may list but not write: the check's own file is never made there,
    // whichever way the directory is named -- in full, or as "Z:" with Z:'s current directory in it.
    const std::string readOnly = dir / "read-only";
    ASSERT_TRUE(::CreateDirectoryA(readOnly.c_str(), nullptr));
    WriteBytes(readOnly + "\\zk_1.jpg", std::string(12345, 'x'));
    ASSERT_EQ(RunUnix("chmod 555 '" + UnixPathOf(readOnly) + "'"), 0);  // the scratch directory's removal undoes it
    // Writable directories: one whose path leaves room for a file named by a 20-digit account number
    // and a further signature's number ("<20 digits>_99.jpg", 259 characters in all), one that
    // leaves room for "<20 digits>_9.jpg" but not for such a name, one that leaves room for
    // "kvrXXXX.tmp" but not for an account's name; in it, a client's file whose path is too long
    // to be opened.
    const std::string fits = dir / std::string(MAX_PATH - 1 - 1 - 27 - dir.Path().size() - 1, 'f');
    const std::string tight = dir / std::string(MAX_PATH - 1 - 1 - 26 - dir.Path().size() - 1, 't');
    const std::string deep = dir / std::string(MAX_PATH - 13 - dir.Path().size() - 1, 'd');
    ASSERT_TRUE(::CreateDirectoryA(fits.c_str(), nullptr) && ::CreateDirectoryA(tight.c_str(), nullptr) &&
                ::CreateDirectoryA(deep.c_str(), nullptr))
        << deep.size();
    ASSERT_EQ(RunUnix("touch '" + UnixPathOf(deep) + "/zk_long_name_1.jpg'"), 0);
    const std::string developerBuild = DeveloperBuildCopy(dir / "Kavrel.dll");
    ASSERT_FALSE(developerBuild.empty());
    const std::string tampered = TamperedCopy(dir / "tampered.dll");
    ASSERT_FALSE(tampered.empty());
    const std::string cutShort = CutShortCopy(dir / "cut-short.dll");
    ASSERT_FALSE(cutShort.empty());
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::wstring line;  // the start of a line the report must hold
        std::string currentDirectory = {};
        std::string scannerSettings = {};
        ScanOperator scanOperator = {};
    } rows[] = {
        {{"--scan", "--bogus"}, 3, L"usage: kvrdiag.exe"},
        {{"--dll", "--scan"}, 3, L"kvrdiag: --dll needs a value"},
        {{"--out", ""}, 3, L"kvrdiag: --out needs a value"},
        {{"--lang", "de"}, 3, L"kvrdiag: --lang takes ru or en, not \"de\""},
        {{"--lang"}, 3, L"kvrdiag: --lang needs a value"},
        {{"--twain-log", "twain.log"}, 3, L"kvrdiag: --twain-log logs the TWAIN calls of the scan: it needs --scan"},
        {{"-h"}, 0, L"usage: kvrdiag.exe"},
        // A developer's build is told apart from a release.
        {{"--dll", developerBuild}, 1, L"WARN  " + FromAnsi(developerBuild) + L": "},
        // Whose signature the module carries, and none: the build's own Kavrel.dll is unsigned.
        {{"--dll", KavrelDllPath()}, 1, L"WARN  not signed: it carries no Authenticode signature"},
        {{"--dll", tampered}, 2, L"FAIL  signed by CN=Kavrel Test Signing, O=Kavrel test, but the file was changed after it was signed"},
        {{"--dll", cutShort}, 2, L"FAIL  its Authenticode signature is damaged"},
        // A failed step shows its own triplet's codes.
        {{"--scan"}, 2, L"FAIL  TWAIN_EnableSource = 0: TWRC_FAILURE, TWCC_OPERATIONERROR", {}, "[Scanner]\r\nFailEnable=1\r\n"},
        // ... and a step back that sends nothing shows no earlier step's codes as its own.
        {{"--scan"}, 2, L"OK    TWAIN_DisableSource = 1: no triplet, state 4", {}, "[Scanner]\r\nFailEnable=1\r\n"},
        // The scan is the module's kvrscan as the host calls it, with its answer (and after it the
        // steps one by one, as in the row above).
        {{"--scan"}, 2, L"FAIL  kvrscan = 2 after ", {}, {}, {IDCANCEL}},
        {{"--help"}, 0, L"usage: kvrdiag.exe"},
        // A report that cannot reach its file is a failure, whatever its lines say.
        {{"--out", dir / "missing\\report.txt"}, 2, L"kvrdiag: the report could not be written to "},
        {{dir / "missing"}, 2, L"FAIL  " + FromAnsi(dir / "missing") + L" does not exist"},
        {{dir.Path(), Ansi(L"Петров")}, 1, L"WARN  kvrprov answers 1 for client \"Петров\""},
        {{readOnly}, 2, L"FAIL  it cannot be written"},
        {{fits}, 0, L"OK    it can be written"},
        {{tight}, 2, L"FAIL  it cannot be written for an account"},
        {{deep}, 2, L"FAIL  it cannot be written for an account"},
        {{deep, "zk"}, 2, L"FAIL    1. zk_long_name_1.jpg: its full path is more than 259 characters"},
        {{"Z:"}, 2, L"FAIL  it cannot be written", readOnly},
        // The viewer's files of a drive-relative directory are those of its current directory.
        {{"Z:", "zk"}, 2, L"OK      1. zk_1.jpg, 12 345 bytes", readOnly},
    };
    for (const auto& row : rows) {
        if (!row.currentDirectory.empty()) {
            ASSERT_TRUE(::SetCurrentDirectoryA(row.currentDirectory.c_str()));
        }
        const KvrdiagRun run = RunKvrdiag(row.arguments, row.scannerSettings, row.scanOperator);
        ::SetCurrentDirectoryA(previous);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, row.exitCode) << Ansi(row.line) << "\n" << Ansi(run.report);
        EXPECT_EQ(run.Lines(row.line.c_str()).size(), 1u) << Ansi(run.report);
        if (row.line.rfind(L"OK", 0) == 0) continue;
        if (row.line.rfind(L"FAIL", 0) == 0 || row.line.rfind(L"WARN", 0) == 0) {
            // The line says what to do next, on the line below it.
            const auto at = run.report.find(row.line);
            EXPECT_EQ(run.report.find(L"      -> ", at), run.report.find(L"\r\n", at) + 2) << Ansi(run.report);
        }
    }
}

}  // namespace
}  // namespace kavrel::test
